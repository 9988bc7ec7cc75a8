#include "rosterimport.h"

#include "namelists.h"
#include "pupilscores.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <climits>
#include <optional>

using namespace Qt::StringLiterals;

namespace Velmora::RosterImport {

namespace {

constexpr int HeaderSearchRows = 10;
static_assert(SheetReader::MaxRows == MaxDataRows + HeaderSearchRows);
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
    static const QStringList yes = {u"是"_s, u"√"_s,   u"✓"_s, u"✔"_s,   u"☑"_s,
                                    u"Y"_s,  u"yes"_s, u"1"_s, u"true"_s};
    return yes.contains(value.trimmed(), Qt::CaseInsensitive);
}

// A yes-like value, or a duty naming 组长 that does not deny it: "不是组长" and "非组长" deny it,
// a 副组长 assists the leader and a 原组长 or 前组长 was one. Duties are often listed together, as
// in "班长、第二组组长".
bool isLeaderValue(const QString &value)
{
    const QString key = headerKey(value);
    if (isYes(key))
        return true;
    static const QRegularExpression items(u"[、,，;；/|]"_s);
    for (const QString &item : key.split(items, Qt::SkipEmptyParts)) {
        for (qsizetype at = item.indexOf(u"组长"_s); at >= 0; at = item.indexOf(u"组长"_s, at + 1)) {
            const QStringView before = QStringView(item).first(at);
            const bool denied = std::any_of(before.cbegin(), before.cend(),
                                            [](QChar c) { return QStringView(u"不非无没未否").contains(c); });
            if (!denied && !before.endsWith(u'副') && !before.endsWith(u'原') && !before.endsWith(u'前'))
                return true;
        }
    }
    return false;
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
        else if (PupilScores::isScoreHeader(key) && !mapping.isMapped(ScoreRole))
            mapping.columns[ScoreRole] = column;
    }
    if (!mapping.isMapped(LeaderRole))
        mapping.columns[LeaderRole] = dutyColumn;
    if (!mapping.isMapped(BoarderRole))
        mapping.columns[BoarderRole] = lodgingColumn;
    findBlocks(table, mapping);
    return mapping;
}

SheetReadResult readClassList(const QString &path)
{
    SheetReadResult read = SheetReader::readFile(path);
    // The reader already stopped at the rows a header may sit under; what lies below it counts.
    if (read.ok() && read.table.rows.size() - guessMapping(read.table).headerRow - 1 > MaxDataRows) {
        read.table = {};
        read.error = SheetReader::tooLargeText();
    }
    return read;
}

void findBlocks(const SheetTable &table, Mapping &mapping)
{
    mapping.blockOffsets = {0};
    const int nameColumn = mapping.column(NameRole);
    if (mapping.headerRow < 0 || nameColumn < 0)
        return;
    const QStringList &header = table.rows.at(mapping.headerRow);
    const QString key = headerKey(header.value(nameColumn));
    if (key.isEmpty())
        return;
    for (int column = nameColumn + 1; column < header.size(); ++column) {
        if (headerKey(header.at(column)) == key)
            mapping.blockOffsets.append(column - nameColumn);
    }
}

Reading readPupils(const SheetTable &table, const Mapping &mapping, const QStringList &keptNames)
{
    Reading reading;
    const QSet<QString> kept(keptNames.cbegin(), keptNames.cend());
    QHash<QString, int> firstRowOf;
    const QStringList header = mapping.headerRow >= 0 ? table.rows.at(mapping.headerRow) : QStringList();
    const QList<int> &offsets = mapping.blockOffsets;
    const int nameColumn = mapping.column(NameRole);
    // Everything left of the first name column belongs to the first block, as far as the blocks
    // leave room for it.
    int lead = nameColumn;
    for (qsizetype b = 1; b < offsets.size(); ++b)
        lead = std::min(lead, offsets.at(b) - offsets.at(b - 1) - 1);

    for (qsizetype block = 0; block < offsets.size(); ++block) {
        const int offset = offsets.at(block);
        // A role of another block is where the first block has it, if that block's header agrees.
        std::array<int, RoleCount> columns = mapping.columns;
        for (int &column : columns) {
            if (column >= 0 && offset != 0)
                column = headerKey(header.value(column + offset)) == headerKey(header.value(column))
                             ? column + offset
                             : -1;
        }
        const auto cellOf = [&](int row, Role role) { return table.cell(row, columns.at(role)); };
        const bool lodging =
            columns.at(BoarderRole) >= 0 && isLodgingColumn(header.value(columns.at(BoarderRole)));
        const int spanStart = nameColumn + offset - lead;
        const int spanEnd = block + 1 < offsets.size() ? nameColumn + offsets.at(block + 1) - lead : INT_MAX;

        for (int row = mapping.headerRow + 1; row < table.rows.size(); ++row) {
            const QStringList &cells = table.rows.at(row);
            // Blocks end at different rows; an empty part of a row is no pupil.
            if (offsets.size() > 1 &&
                std::all_of(cells.cbegin() + std::min<qsizetype>(spanStart, cells.size()),
                            cells.cbegin() + std::min<qsizetype>(spanEnd, cells.size()),
                            [](const QString &cell) { return cell.trimmed().isEmpty(); }))
                continue;
            const int number = table.rowNumbers.at(row);
            const QString shownNumber = QString::number(number);
            // Spreadsheet cells carry stray spaces that nobody sees; the roster would keep them.
            const QString raw = cellOf(row, NameRole).trimmed();
            const QString name = withoutInvisibles(raw).trimmed();
            const QString gender = withoutInvisibles(cellOf(row, GenderRole)).trimmed();
            const std::optional<bool> male = genderIsMale(gender);
            const auto refuse = [&](const QString &text) { reading.problems.append({number, text}); };

            if (raw.size() > MaxNameChars) {
                refuse(u"第 %1 行：姓名过长"_s.arg(shownNumber));
            } else if (breaksLine(raw)) {
                refuse(u"第 %1 行：姓名“%2”中有换行"_s.arg(shownNumber, shown(withoutInvisibles(raw))));
            } else if (name.isEmpty()) {
                refuse(u"第 %1 行：姓名为空"_s.arg(shownNumber));
            } else if (hasNameSeparator(name)) {
                refuse(u"第 %1 行：姓名“%2”包含逗号或分号"_s.arg(shownNumber, name));
            } else if (firstRowOf.contains(name)) {
                refuse(u"第 %1 行：“%2”与第 %3 行重名"_s.arg(shownNumber, name,
                                                             QString::number(firstRowOf.value(name))));
            } else if (kept.contains(name)) {
                refuse(u"第 %1 行：“%2”已在名单中"_s.arg(shownNumber, name));
            } else if (!male) {
                refuse(gender.isEmpty()
                           ? u"第 %1 行：“%2”没有填写性别"_s.arg(shownNumber, name)
                           : u"第 %1 行：“%2”的性别“%3”不是男或女"_s.arg(shownNumber, name, gender));
            } else {
                Pupil pupil;
                pupil.name = name;
                pupil.male = *male;
                pupil.leader = columns.at(LeaderRole) >= 0 && isLeaderValue(cellOf(row, LeaderRole));
                pupil.boarder =
                    columns.at(BoarderRole) >= 0 && isBoarderValue(cellOf(row, BoarderRole), lodging);
                pupil.rowNumber = number;
                if (columns.at(ScoreRole) >= 0) {
                    // A pupil whose score cannot be read still belongs on the roster.
                    const QString written = cellOf(row, ScoreRole);
                    const PupilScores::Parsed score = PupilScores::parse(written);
                    if (score.status == PupilScores::Status::Valid)
                        pupil.score = score.hundredths;
                    else if (score.status != PupilScores::Status::Empty)
                        reading.notes.append({number, PupilScores::problemText(number, score, written)});
                }
                reading.pupils.append(pupil);
            }
            if (!name.isEmpty() && !firstRowOf.contains(name))
                firstRowOf.insert(name, number);
        }
    }
    return reading;
}

namespace {

QString listedLines(const QList<Problem> &problems)
{
    QStringList lines;
    for (qsizetype i = 0; i < problems.size() && i < ListedProblems; ++i)
        lines.append(problems.at(i).text);
    if (problems.size() > ListedProblems)
        lines.append(u"……另有 %1 行"_s.arg(problems.size() - ListedProblems));
    return lines.join(u'\n');
}

} // namespace

QString problemsText(const QList<Problem> &problems)
{
    return u"以下 %1 行无法导入：\n"_s.arg(problems.size()) + listedLines(problems);
}

QString notesText(const QList<Problem> &notes)
{
    return u"以下 %1 人已导入，但成绩没有导入：\n"_s.arg(notes.size()) + listedLines(notes);
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
        QSet<QString> marked;
        const auto mark = [&](const QString &name) {
            if (!marked.contains(name)) {
                marked.insert(name);
                result.append(name);
            }
        };
        if (mode == Mode::Add) {
            result = before;
            marked = QSet<QString>(before.cbegin(), before.cend());
        } else if (!mapping.isMapped(role)) {
            // Without a column the file says nothing, so the marks of those who stay are kept.
            for (const QString &name : before) {
                if (onRoster.contains(name))
                    mark(name);
            }
        }
        for (const Pupil &pupil : pupils) {
            if (pupil.*flag)
                mark(pupil.name);
        }
        return result;
    };
    lists.leaderNames = marks(current.leaderNames, LeaderRole, &Pupil::leader);
    lists.boarderNames = marks(current.boarderNames, BoarderRole, &Pupil::boarder);

    // Adding started from the current lists, scores included.
    if (mode == Mode::Replace && !mapping.isMapped(ScoreRole)) {
        for (auto it = current.scores.cbegin(); it != current.scores.cend(); ++it) {
            if (onRoster.contains(it.key()))
                lists.scores.insert(it.key(), it.value());
        }
    }
    for (const Pupil &pupil : pupils) {
        if (pupil.score >= 0)
            lists.scores.insert(pupil.name, pupil.score);
    }
    return lists;
}

QString columnLabel(const SheetTable &table, const Mapping &mapping, int column)
{
    const QString header = table.cell(mapping.headerRow, column).simplified();
    return header.isEmpty() ? u"第 %1 列"_s.arg(column + 1)
                            : u"第 %1 列：%2"_s.arg(QString::number(column + 1), header);
}

} // namespace Velmora::RosterImport
