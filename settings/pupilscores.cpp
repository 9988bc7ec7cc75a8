#include "pupilscores.h"

#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora::PupilScores {

namespace {

// A value copied from a web page or a spreadsheet carries zero-width and direction marks.
bool isInvisible(QChar c)
{
    return c.category() == QChar::Other_Format || c.category() == QChar::Other_Control;
}

QChar halfWidth(QChar c)
{
    const char16_t code = c.unicode();
    if (code >= u'０' && code <= u'９')
        return QChar(char16_t(u'0' + (code - u'０')));
    switch (code) {
    case u'．':
        return u'.';
    case u'＋':
        return u'+';
    case u'－':
        return u'-';
    default:
        return c;
    }
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

Parsed parse(const QString &text)
{
    QString plain;
    for (const QChar c : text) {
        if (!isInvisible(c))
            plain.append(halfWidth(c));
    }
    plain = plain.trimmed();
    if (plain.isEmpty())
        return {};

    qsizetype at = 0;
    const qsizetype size = plain.size();
    const bool negative = plain.at(0) == u'-';
    if (negative || plain.at(0) == u'+')
        ++at;
    // The whole part stops growing past the bound, so that no length of digits can overflow.
    qint64 whole = 0;
    int digits = 0;
    for (; at < size && isDigit(plain.at(at)); ++at, ++digits)
        whole = std::min<qint64>(whole * 10 + (plain.at(at).unicode() - u'0'), MaxPoints + 1);
    int decimals[3] = {0, 0, 0};
    if (at < size && plain.at(at) == u'.') {
        ++at;
        for (int place = 0; at < size && isDigit(plain.at(at)); ++at, ++digits, ++place) {
            if (place < 3)
                decimals[place] = plain.at(at).unicode() - u'0';
        }
    }
    if (at != size || digits == 0)
        return {Status::NotANumber, 0};

    const qint64 value = whole * 100 + decimals[0] * 10 + decimals[1] + (decimals[2] >= 5 ? 1 : 0);
    if ((negative && value != 0) || value > MaxHundredths)
        return {Status::OutOfRange, 0};
    return {Status::Valid, int(value)};
}

bool isScoreHeader(const QString &header)
{
    static const QStringList headers = {u"成绩"_s,     u"总分"_s,   u"分数"_s,
                                        u"考试成绩"_s, u"平均分"_s, u"得分"_s};
    QString key = header;
    key.removeIf([](QChar c) { return c.isSpace(); });
    return headers.contains(key);
}

QString format(int hundredths)
{
    QString whole = QString::number(hundredths / 100);
    const int cents = hundredths % 100;
    if (cents == 0)
        return whole;
    if (cents % 10 == 0)
        return whole + u'.' + QString::number(cents / 10);
    return whole + u'.' + QString::number(cents).rightJustified(2, u'0');
}

QString problemText(int rowNumber, const Parsed &parsed, const QString &written)
{
    const QString row = QString::number(rowNumber);
    switch (parsed.status) {
    case Status::NotANumber:
        return u"第 %1 行：成绩不是数字，已忽略"_s.arg(row);
    case Status::OutOfRange: {
        // A pasted cell can be as long as the clipboard; the message shows its start.
        QString shown = written.trimmed();
        if (shown.size() > 20)
            shown = shown.first(20) + u'…';
        return u"第 %1 行：成绩“%2”超出范围（0 到 %3 分），已忽略"_s.arg(row, shown,
                                                                         QString::number(MaxPoints));
    }
    case Status::Empty:
    case Status::Valid:
        break;
    }
    return {};
}

QString encodeItem(const QString &name, int hundredths)
{
    return name + u':' + format(hundredths);
}

bool decodeItem(const QString &item, QString *name, int *hundredths)
{
    const qsizetype colon = item.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    const Parsed parsed = parse(item.sliced(colon + 1));
    if (parsed.status != Status::Valid)
        return false;
    *name = item.first(colon);
    *hundredths = parsed.hundredths;
    return true;
}

} // namespace Velmora::PupilScores
