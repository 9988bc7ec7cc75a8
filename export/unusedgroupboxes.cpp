#include "unusedgroupboxes.h"

#include "spreadsheetbackend.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

quint64 position(int row, int column)
{
    return quint64(quint32(row)) << 32 | quint32(column);
}

// "九" 9, "十" 10, "十二" 12, "二十" 20, "二十三" 23; -1 for anything else.
int chineseNumber(QStringView text)
{
    static const QString digits = u"〇一二三四五六七八九"_s;
    const qsizetype ten = text.indexOf(u'十');
    if (ten < 0)
        return text.size() == 1 ? int(digits.indexOf(text.first())) : -1;
    const QStringView tens = text.left(ten);
    const QStringView ones = text.mid(ten + 1);
    if (tens.size() > 1 || ones.size() > 1)
        return -1;
    const int high = tens.isEmpty() ? 1 : int(digits.indexOf(tens.first()));
    const int low = ones.isEmpty() ? 0 : int(digits.indexOf(ones.first()));
    return high < 1 || low < 0 ? -1 : high * 10 + low;
}

} // namespace

std::optional<int> UnusedGroupBoxes::labelledGroup(const QString &text)
{
    static const QRegularExpression label(
        u"^第?\\s*([0-9０-９]{1,4}|[〇一二三四五六七八九十]{1,3})\\s*小?组$"_s);
    const QRegularExpressionMatch match = label.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    QString number = match.captured(1);
    for (QChar &c : number) {
        if (c >= u'０' && c <= u'９')
            c = QChar(c.unicode() - u'０' + u'0');
    }
    bool ok = false;
    const int group = number.toInt(&ok);
    if (ok)
        return group;
    const int chinese = chineseNumber(number);
    return chinese < 0 ? std::nullopt : std::optional<int>(chinese);
}

void UnusedGroupBoxes::note(int row, int column, const QString &text)
{
    // The same seat cells the chart fills; the date cell comes first there too.
    static const QRegularExpression seat(u"^(\\d+)-(\\d+)$"_s);
    const quint64 at = position(row, column);
    if (text.contains(u"XXXX.XX.XX"_s)) {
        shown.insert(at);
        return;
    }
    if (const QRegularExpressionMatch match = seat.match(text); match.hasMatch()) {
        bool ok = false;
        const int group = match.captured(1).toInt(&ok);
        seats.insert(at, ok ? group : -1);
    } else if (const std::optional<int> group = labelledGroup(text)) {
        labels.insert(at, *group);
    } else if (!text.trimmed().isEmpty()) {
        shown.insert(at);
    }
}

void UnusedGroupBoxes::clear(SpreadsheetBackend &backend) const
{
    QSet<int> seated;
    QSet<int> unused;
    for (const int group : seats) {
        seated.insert(group);
        if (group < 1 || group > groupCount)
            unused.insert(group);
    }
    if (unused.isEmpty())
        return;

    QSet<quint64> cleared;
    QSet<quint64> kept = shown;
    auto add = [&](QSet<quint64> &into, quint64 at) {
        const int row = int(at >> 32);
        const int column = int(at & 0xFFFFFFFFu);
        const SheetArea area = backend.mergeArea(row, column);
        if (qint64(area.lastRow - area.firstRow + 1) * (area.lastColumn - area.firstColumn + 1) >
            maxMergedCells) {
            into.insert(at);
            return;
        }
        for (int r = area.firstRow; r <= area.lastRow; ++r) {
            for (int c = area.firstColumn; c <= area.lastColumn; ++c)
                into.insert(position(r, c));
        }
    };
    for (auto it = seats.constBegin(); it != seats.constEnd(); ++it) {
        if (!unused.contains(*it))
            kept.insert(it.key()); // as a single cell: seats are rarely merged, and each look costs
        else if (cleared.size() < maxClearedCells)
            add(cleared, it.key());
    }
    QSet<quint64> emptied;
    for (auto it = labels.constBegin(); it != labels.constEnd(); ++it) {
        if (unused.contains(*it) && cleared.size() < maxClearedCells) {
            add(cleared, it.key());
            emptied.insert(it.key());
        } else if (seated.contains(*it)) {
            add(kept, it.key());
        } else {
            kept.insert(it.key()); // names a group the template has no seats for: just text
        }
    }

    QList<quint64> order(cleared.cbegin(), cleared.cend());
    std::sort(order.begin(), order.end());
    for (const quint64 at : std::as_const(order)) {
        const int row = int(at >> 32);
        const int column = int(at & 0xFFFFFFFFu);
        int edges = 0;
        for (const auto &[edge, neighbour] : {std::pair{SpreadsheetCell::LeftEdge, position(row, column - 1)},
                                              {SpreadsheetCell::RightEdge, position(row, column + 1)},
                                              {SpreadsheetCell::TopEdge, position(row - 1, column)},
                                              {SpreadsheetCell::BottomEdge, position(row + 1, column)}}) {
            if (!kept.contains(neighbour))
                edges |= edge;
        }
        const std::unique_ptr<SpreadsheetCell> cell = backend.cell(row, column);
        if (!cell)
            continue;
        if (emptied.contains(at))
            cell->setText(QString());
        cell->clearBox(edges);
    }
}

} // namespace Velmora
