#pragma once

#include "model.h"

#include <QObject>
#include <QUndoStack>

#include <functional>

class QAction;
class QWidget;

namespace Velmora {

class ResultsTableWidget;

// Hand adjustments of the stored plan in the results table: a name dropped on a name swaps the
// two seats, a name dropped on an empty cell of another row moves the person to a free seat of
// that group. Every step goes
// through an undo stack, redraws the table and reports broken requirements at once.
class SeatAdjuster : public QObject
{
    Q_OBJECT

public:
    using LogSink = std::function<void(const QString &)>;

    // `state` and `table` must outlive the adjuster; `dialogParent` parents its warnings.
    SeatAdjuster(ClassState &state, ResultsTableWidget *table, LogSink log, QWidget *dialogParent);

    void adjust(int fromRow, int fromColumn, int toRow, int toColumn);
    void undo();
    void redo();
    // For every command that replaces the grouping: the steps no longer refer to it.
    void clearHistory();

    const QUndoStack &history() const { return steps; }
    QAction *undoAction = nullptr;
    QAction *redoAction = nullptr;

private:
    friend class AdjustmentCommand;
    void showStep(const SeatingPlan &plan, const QString &line);
    bool historyMatchesGrouping() const;

    ClassState &state;
    ResultsTableWidget *table;
    LogSink log;
    QWidget *dialogParent;
    QUndoStack steps;
};

} // namespace Velmora
