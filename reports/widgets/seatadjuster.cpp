#include "seatadjuster.h"

#include "dialogs.h"
#include "groupingedits.h"
#include "persongroupmap.h"
#include "requirementrules.h"
#include "resultstable.h"
#include "resultstablewidget.h"

#include <QAction>
#include <QKeySequence>
#include <QUndoCommand>

using namespace Qt::StringLiterals;

namespace Velmora {

// One hand adjustment: the groupings before and after it, and its log line.
class AdjustmentCommand : public QUndoCommand
{
public:
    AdjustmentCommand(SeatAdjuster *adjuster, SeatingPlan before, SeatingPlan after, const QString &line)
        : QUndoCommand(line), adjuster(adjuster), before(std::move(before)), after(std::move(after))
    {}

    void redo() override
    {
        // QUndoStack::push runs redo once; only later runs are redos the user asked for.
        adjuster->showStep(after, done ? u"重做: "_s + text() : text());
        done = true;
    }
    void undo() override { adjuster->showStep(before, u"撤销: "_s + text()); }

    SeatAdjuster *adjuster;
    const SeatingPlan before;
    const SeatingPlan after;
    bool done = false;
};

namespace {

QList<QKeySequence> shortcutsWith(const QKeySequence &primary, QKeySequence::StandardKey standard)
{
    QList<QKeySequence> keys{primary};
    for (const QKeySequence &key : QKeySequence::keyBindings(standard)) {
        if (!keys.contains(key))
            keys.append(key);
    }
    return keys;
}

} // namespace

SeatAdjuster::SeatAdjuster(ClassState &state, ResultsTableWidget *table, LogSink log, QWidget *dialogParent)
    : QObject(table), state(state), table(table), log(std::move(log)), dialogParent(dialogParent)
{
    undoAction = new QAction(u"撤销"_s, this);
    undoAction->setShortcuts(shortcutsWith(QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence::Undo));
    undoAction->setEnabled(false);
    redoAction = new QAction(u"重做"_s, this);
    redoAction->setShortcuts(shortcutsWith(QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence::Redo));
    redoAction->setEnabled(false);
    // Actions of the table with window context: the keys work wherever the focus is in the window
    // (a line edit keeps its own undo), and the table's context menu shows both.
    table->addAction(undoAction);
    table->addAction(redoAction);
    table->setContextMenuPolicy(Qt::ActionsContextMenu);

    connect(undoAction, &QAction::triggered, this, &SeatAdjuster::undo);
    connect(redoAction, &QAction::triggered, this, &SeatAdjuster::redo);
    connect(&steps, &QUndoStack::canUndoChanged, undoAction, &QAction::setEnabled);
    connect(&steps, &QUndoStack::canRedoChanged, redoAction, &QAction::setEnabled);
    // Queued, so that the drop has finished and the platform's drag loop is gone before a full
    // group's warning box opens its own modal loop.
    connect(table, &ResultsTableWidget::seatDropped, this, &SeatAdjuster::adjust, Qt::QueuedConnection);
}

void SeatAdjuster::adjust(int fromRow, int fromColumn, int toRow, int toColumn)
{
    using namespace GroupingEdits;
    // Column 0 holds the group labels; column s shows seat s.
    if (fromColumn < 1 || toColumn < 1 || (fromRow == toRow && fromColumn == toColumn))
        return;
    const SeatingPlan plan = state.currentGrouping;
    if (fromRow < 0 || fromRow >= plan.groupCount() || toRow < 0 || toRow >= plan.groupCount())
        return;
    const SeatRef from = plan.refAt(fromRow, fromColumn - 1);
    const SeatRef to = plan.refAt(toRow, toColumn - 1);
    const PersonId person = plan.occupant(from);
    if (person == 0)
        return;
    const QString name = state.roster.nameOf(person);

    if (const std::optional<SeatingPlan> swapped = swapPersons(plan, from, to)) {
        const QString other = state.roster.nameOf(plan.occupant(to));
        steps.push(new AdjustmentCommand(this, plan, *swapped, u"手动交换: %1 ↔ %2"_s.arg(name, other)));
        return;
    }

    const QString number = QString::number(to.group);
    const MoveResult moved = movePerson(plan, from, to.group, acceptedFixedSeats(state));
    if (moved.outcome == MoveOutcome::TargetFull)
        Dialogs::instance().warning(dialogParent, u"错误"_s, u"组%1已满，无法移入 %2"_s.arg(number, name));
    else if (moved.outcome == MoveOutcome::Moved)
        steps.push(new AdjustmentCommand(this, plan, moved.plan, u"手动移动: %1 到组%2"_s.arg(name, number)));
}

void SeatAdjuster::undo()
{
    if (!historyMatchesGrouping())
        clearHistory();
    else
        steps.undo();
}

void SeatAdjuster::redo()
{
    if (!historyMatchesGrouping())
        clearHistory();
    else
        steps.redo();
}

void SeatAdjuster::clearHistory()
{
    steps.clear();
}

bool SeatAdjuster::historyMatchesGrouping() const
{
    // A command that replaced the grouping without clearing the history would otherwise have an
    // undo bring back seats of a grouping the teacher has already left.
    if (steps.count() == 0)
        return true;
    const int index = steps.index();
    const auto *command = static_cast<const AdjustmentCommand *>(steps.command(index > 0 ? index - 1 : 0));
    return state.currentGrouping == (index > 0 ? command->after : command->before);
}

void SeatAdjuster::showStep(const SeatingPlan &plan, const QString &line)
{
    state.currentGrouping = plan;
    refreshResultsTable(table, state);
    log(line);
    const int broken = RequirementRules::brokenCount(state.mustTogether, state.mustSeparate,
                                                     buildPersonGroupMap(state.currentGrouping.members()));
    if (broken > 0)
        log(u"<font color='red'>注意: 有 %1 条要求未满足</font>"_s.arg(broken));
}

} // namespace Velmora
