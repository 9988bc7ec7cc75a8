#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace Velmora {

class SpreadsheetBackend;

// A template draws a box for every group it has seats for: a label such as "第9组" and the seat
// cells 9-1, 9-2, ... When the grouping has fewer groups, the box of a group it lacks would print
// as an empty group. Such a box is taken off the chart: its seat cells and the label naming its
// group are emptied and lose their fill and their borders, merged ranges they head included.
// Only a border shared with a cell that still shows something stays: a cell of another group's
// box (its seats, filled or not, and its label) or any other cell with text.
class UnusedGroupBoxes
{
public:
    // Groups 1..groupCount exist; the template's cells name groups by that number.
    explicit UnusedGroupBoxes(int groupCount) : groupCount(groupCount) {}

    // Notes a cell of the scan with its text as the template has it, before the chart fills it.
    void note(int row, int column, const QString &text);
    // Empties the boxes of the groups that do not exist.
    void clear(SpreadsheetBackend &backend) const;

    // The group a label names: "第9组", "第 9 组", "9组", "第九组" and "第９组" give 9.
    static std::optional<int> labelledGroup(const QString &text);

    // Bounds on hostile templates: a merged range larger than this counts as its own cell only,
    // and no more cells than the second bound are cleared.
    static constexpr int maxMergedCells = 256;
    static constexpr int maxClearedCells = 200000;

private:
    int groupCount;
    QHash<quint64, int> seats;  // position, group
    QHash<quint64, int> labels; // position, group
    QSet<quint64> shown;        // every other cell with text
};

} // namespace Velmora
