#pragma once

#include "sheettable.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <array>

namespace Velmora {

// Turning a class list into the roster lists of the settings dialog: which column holds what, which
// rows can be taken, and what the lists become. Core only, so that every rule runs without widgets.
namespace RosterImport {

// A class list holds at most this many pupils, and a name at most this many characters (as its cell
// holds it, spaces around it aside).
constexpr int MaxDataRows = 1000;
constexpr int MaxNameChars = 50;

enum Role
{
    NameRole,
    GenderRole,
    LeaderRole,
    BoarderRole,
    ScoreRole,
    RoleCount
};

struct Mapping
{
    int headerRow = -1; // index into the table's rows; -1 when no header was found
    std::array<int, RoleCount> columns = {-1, -1, -1, -1, -1};
    // A list printed in blocks side by side repeats its header: each block is the first one moved
    // right by its offset. The first offset is 0.
    QList<int> blockOffsets = {0};

    int column(Role role) const { return columns.at(role); }
    bool isMapped(Role role) const { return column(role) >= 0; }
};

// Looks for the header in the first ten rows: the first row with a 姓名 column, and in it the
// columns of the other roles. A 住校 or 走读 column says nothing about lodging outside the school
// and is left unmapped. The first column headed like a score (成绩, 总分, 平均分, ...) gives the scores.
Mapping guessMapping(const SheetTable &table);
// Sets the blocks from the header: every further column headed like the name column starts one.
void findBlocks(const SheetTable &table, Mapping &mapping);

// Reads the file and checks it against the bounds of a class list, before anything is shown.
SheetReadResult readClassList(const QString &path);

struct Pupil
{
    QString name;
    bool male = false;
    bool leader = false;
    bool boarder = false;
    int score = -1; // hundredths of a point; -1 when the row has none
    int rowNumber = 0;
};

struct Problem
{
    int rowNumber = 0;
    QString text; // one line of the message, starting with the row number
};

struct Reading
{
    QList<Pupil> pupils;     // the rows that can be taken, in file order
    QList<Problem> problems; // one per refused row, in file order
    QList<Problem> notes;    // rows taken without the score they hold, in file order
};

// Reads the rows below the header, block by block. `keptNames` are the names that stay on the roster (the
// current lists when adding, none when replacing); a name already among them is refused like a name twice.
Reading readPupils(const SheetTable &table, const Mapping &mapping, const QStringList &keptNames = {});

// The body of the message that lists the refused rows.
QString problemsText(const QList<Problem> &problems);
// The message that lists the scores left out of rows that were taken.
QString notesText(const QList<Problem> &notes);

struct RosterLists
{
    QStringList maleNames;
    QStringList femaleNames;
    QStringList leaderNames;
    QStringList boarderNames;
    QMap<QString, int> scores = {}; // hundredths, by name
};

enum class Mode
{
    Replace,
    Add
};

// The lists after the import. A role without a column keeps the marks and scores of the names that stay.
RosterLists apply(const RosterLists &current, const QList<Pupil> &pupils, Mode mode, const Mapping &mapping);

// What the preview calls a column: its header, or its place when it has none.
QString columnLabel(const SheetTable &table, const Mapping &mapping, int column);

} // namespace RosterImport
} // namespace Velmora
