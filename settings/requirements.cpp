#include "requirements.h"

#include "namelists.h"

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace Velmora::Requirements {

ParsedInput parse(const QString &input, const QString &kindText, const QMap<QString, int> &nameToId)
{
    ParsedInput result;
    const QString text = input.trimmed();
    if (hasNameSeparator(text)) {
        result.error = u"姓名不能包含逗号或分号"_s;
        return result;
    }
    result.kind = kindText.contains(u"必须"_s) ? Kind::MustTogether : Kind::MustSeparate;
    if (text.isEmpty()) {
        result.error = u"请输入至少一个姓名"_s;
        return result;
    }

    const QStringList parts = text.split(u' ', Qt::SkipEmptyParts);
    QStringList invalid;
    for (const QString &part : parts) {
        const auto it = nameToId.constFind(part);
        if (it == nameToId.cend())
            invalid.append(part);
        else
            result.entry.append(it.value());
    }
    if (!invalid.isEmpty()) {
        result.entry.clear();
        result.error = u"以下姓名无效: "_s + invalid.join(u", "_s);
        return result;
    }
    if (result.entry.size() < 2) {
        result.entry.clear();
        result.error = u"要求需要至少两个有效姓名"_s;
    }
    return result;
}

QString kindText(Kind kind)
{
    return kind == Kind::MustTogether ? u"必须同组"_s : u"不能同组"_s;
}

QStringList rowTexts(Kind kind, const Constraint &entry, const Roster &roster)
{
    QStringList names;
    for (int person : entry)
        names.append(roster.nameOf(person));
    return {kindText(kind), names.join(u", "_s), u"待验证"_s};
}

QList<int> removeRows(ClassState &state, const QStringList &rowKinds, QList<int> selectedRows)
{
    std::sort(selectedRows.begin(), selectedRows.end(), std::greater<int>());
    selectedRows.erase(std::unique(selectedRows.begin(), selectedRows.end()), selectedRows.end());

    const QString together = kindText(Kind::MustTogether);
    QList<int> removed;
    for (int row : std::as_const(selectedRows)) {
        if (row < 0 || row >= rowKinds.size())
            continue;
        const QString &kind = rowKinds.at(row);
        QList<Constraint> &list = kind == together ? state.mustTogether : state.mustSeparate;
        // Rows below this one are already gone, but they never counted: only rows above do.
        const qsizetype index = std::count(rowKinds.cbegin(), rowKinds.cbegin() + row, kind);
        if (index < list.size())
            list.removeAt(index);
        removed.append(row);
    }
    return removed;
}

} // namespace Velmora::Requirements
