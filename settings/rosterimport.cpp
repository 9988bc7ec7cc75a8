#include "rosterimport.h"

#include "namelists.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace Velmora::RosterImport {

namespace {

constexpr int HeaderSearchRows = 10;
// A message box taller than the screen would hide its buttons.
constexpr int ListedProblems = 20;

// Headers are often typed as "姓 名" or padded with full-width spaces.
QString headerKey(const QString &text)
{
    QString key;
    for (const QChar c : text) {
        if (!c.isSpace())
            key.append(c);
    }
    return key;
}

// Columns that tell where a pupil lives: only the value 外宿 marks a pupil lodging outside.
bool isLodgingColumn(const QString &header)
{
    const QString key = headerKey(header);
    return key == u"住宿"_s || key == u"住宿情况"_s || key == u"住校情况"_s;
}

bool isYes(const QString &value)
{
    static const QStringList yes = {u"是"_s, u"√"_s, u"✓"_s, u"Y"_s, u"1"_s, u"true"_s};
    return yes.contains(value.trimmed(), Qt::CaseInsensitive);
}

bool isLeaderValue(const QString &value)
{
    // A 副组长 assists the leader and is not one.
    return isYes(value) || QString(value).remove(u"副组长"_s).contains(u"组长"_s);
}

bool isBoarderValue(const QString &value, bool lodgingColumn)
{
    const QString key = headerKey(value);
    return key == u"外宿"_s || key == u"外宿生"_s || (!lodgingColumn && isYes(value));
}

std::optional<bool> genderIsMale(const QString &value)
{
    const QString key = value.trimmed();
    if (key == u"男"_s || key.compare(u"M"_s, Qt::CaseInsensitive) == 0)
        return true;
    if (key == u"女"_s || key.compare(u"F"_s, Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

// The name boxes hold one name per line, so a name spanning lines would come back as several.
bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

bool breaksLine(const QString &name)
{
    return std::any_of(name.cbegin(), name.cend(), isLineBreak);
}

QString shown(const QString &name)
{
    QString text;
    for (const QChar c : name)
        text.append(isLineBreak(c) ? QChar(u' ') : c);
    return text;
}

} // namespace

Mapping guessMapping(const SheetTable &table)
{
    Mapping mapping;
    const int searched = std::min(HeaderSearchRows, int(table.rows.size()));
    for (int row = 0; row < searched && mapping.headerRow < 0; ++row) {
        const QStringList &cells = table.rows.at(row);
        for (int column = 0; column < cells.size(); ++column) {
            if (headerKey(cells.at(column)) == u"姓名"_s) {
                mapping.headerRow = row;
                mapping.columns[NameRole] = column;
                break;
            }
        }
    }
    if (mapping.headerRow < 0)
        return mapping;

    int dutyColumn = -1;
    int lodgingColumn = -1;
    const QStringList &header = table.rows.at(mapping.headerRow);
    for (int column = 0; column < header.size(); ++column) {
        const QString key = headerKey(header.at(column));
        if (key == u"性别"_s && !mapping.isMapped(GenderRole))
            mapping.columns[GenderRole] = column;
        else if (key == u"组长"_s && !mapping.isMapped(LeaderRole))
            mapping.columns[LeaderRole] = column;
        else if (key.contains(u"职务"_s) && dutyColumn < 0)
            dutyColumn = column;
        else if ((key == u"外宿"_s || key == u"外宿生"_s) && !mapping.isMapped(BoarderRole))
            mapping.columns[BoarderRole] = column;
        else if (isLodgingColumn(key) && lodgingColumn < 0)
            lodgingColumn = column;
    }
    if (!mapping.isMapped(LeaderRole))
        mapping.columns[LeaderRole] = dutyColumn;
    if (!mapping.isMapped(BoarderRole))
        mapping.columns[BoarderRole] = lodgingColumn;
    return mapping;
}

Reading readPupils(const SheetTable &table, const Mapping &mapping, const QStringList &keptNames)
{
    Reading reading;
    const bool lodging = mapping.isMapped(BoarderRole) &&
                         isLodgingColumn(table.cell(mapping.headerRow, mapping.column(BoarderRole)));
    const QSet<QString> kept(keptNames.cbegin(), keptNames.cend());
    QHash<QString, int> firstRowOf;
    for (int row = mapping.headerRow + 1; row < table.rows.size(); ++row) {
        const int number = table.rowNumbers.at(row);
        const QString shownNumber = QString::number(number);
        // Spreadsheet cells carry stray spaces that nobody sees; the roster would keep them.
        const QString name = table.cell(row, mapping.column(NameRole)).trimmed();
        const QString gender = table.cell(row, mapping.column(GenderRole));
        const std::optional<bool> male = genderIsMale(gender);
        const auto refuse = [&](const QString &text) { reading.problems.append({number, text}); };

        if (name.isEmpty()) {
            refuse(u"第 %1 行：姓名为空"_s.arg(shownNumber));
        } else if (hasNameSeparator(name)) {
            refuse(u"第 %1 行：姓名“%2”包含逗号或分号"_s.arg(shownNumber, name));
        } else if (breaksLine(name)) {
            refuse(u"第 %1 行：姓名“%2”中有换行"_s.arg(shownNumber, shown(name)));
        } else if (firstRowOf.contains(name)) {
            refuse(u"第 %1 行：“%2”与第 %3 行重名"_s.arg(shownNumber, name,
                                                         QString::number(firstRowOf.value(name))));
        } else if (kept.contains(name)) {
            refuse(u"第 %1 行：“%2”已在名单中"_s.arg(shownNumber, name));
        } else if (!male) {
            refuse(gender.trimmed().isEmpty()
                       ? u"第 %1 行：“%2”没有填写性别"_s.arg(shownNumber, name)
                       : u"第 %1 行：“%2”的性别“%3”不是男或女"_s.arg(shownNumber, name, gender.trimmed()));
        } else {
            Pupil pupil;
            pupil.name = name;
            pupil.male = *male;
            pupil.leader =
                mapping.isMapped(LeaderRole) && isLeaderValue(table.cell(row, mapping.column(LeaderRole)));
            pupil.boarder = mapping.isMapped(BoarderRole) &&
                            isBoarderValue(table.cell(row, mapping.column(BoarderRole)), lodging);
            pupil.rowNumber = number;
            reading.pupils.append(pupil);
        }
        if (!name.isEmpty() && !firstRowOf.contains(name))
            firstRowOf.insert(name, number);
    }
    return reading;
}

QString problemsText(const QList<Problem> &problems)
{
    QStringList lines;
    for (qsizetype i = 0; i < problems.size() && i < ListedProblems; ++i)
        lines.append(problems.at(i).text);
    if (problems.size() > ListedProblems)
        lines.append(u"……另有 %1 行"_s.arg(problems.size() - ListedProblems));
    return u"以下 %1 行无法导入：\n"_s.arg(problems.size()) + lines.join(u'\n');
}

RosterLists apply(const RosterLists &current, const QList<Pupil> &pupils, Mode mode, const Mapping &mapping)
{
    RosterLists lists;
    if (mode == Mode::Add)
        lists = current;
    for (const Pupil &pupil : pupils)
        (pupil.male ? lists.maleNames : lists.femaleNames).append(pupil.name);

    const QStringList names = lists.maleNames + lists.femaleNames;
    const QSet<QString> onRoster(names.cbegin(), names.cend());
    const auto marks = [&](const QStringList &before, Role role, bool Pupil::*flag) {
        QStringList result;
        if (mode == Mode::Add) {
            result = before;
        } else if (!mapping.isMapped(role)) {
            // Without a column the file says nothing, so the marks of those who stay are kept.
            for (const QString &name : before) {
                if (onRoster.contains(name))
                    result.append(name);
            }
        }
        for (const Pupil &pupil : pupils) {
            if (pupil.*flag && !result.contains(pupil.name))
                result.append(pupil.name);
        }
        return result;
    };
    lists.leaderNames = marks(current.leaderNames, LeaderRole, &Pupil::leader);
    lists.boarderNames = marks(current.boarderNames, BoarderRole, &Pupil::boarder);
    return lists;
}

QString columnLabel(const SheetTable &table, const Mapping &mapping, int column)
{
    const QString header = table.cell(mapping.headerRow, column).simplified();
    return header.isEmpty() ? u"第 %1 列"_s.arg(column + 1)
                            : u"第 %1 列：%2"_s.arg(QString::number(column + 1), header);
}

} // namespace Velmora::RosterImport
