#include "generatecommand.h"

#include "runselection.h"

#include <QPromise>
#include <QThreadPool>

namespace Velmora {

GenerateCommand::GenerateCommand(QObject *parent) : QObject(parent)
{
    statusTimer.setSingleShot(true);
    statusTimer.setInterval(StatusDelayMs);
    connect(&statusTimer, &QTimer::timeout, this, &GenerateCommand::slow);
    connect(&watcher, &QFutureWatcherBase::finished, this, &GenerateCommand::deliver);
}

GenerateCommand::~GenerateCommand()
{
    discard();
    waitForFinished();
}

bool GenerateCommand::isRunning() const
{
    return watcher.future().isValid() && !watcher.isFinished();
}

void GenerateCommand::start(const ClassState &state, const SeedSource &seeds, const GroupHistory &history)
{
    if (isRunning())
        return;
    stopFlag = std::make_shared<std::atomic_bool>(false);
    discarded = false;
    // Copies only: the worker reads nothing the window may change while it runs. Qt's containers
    // are implicitly shared, so the copy costs little, and a write on either side detaches.
    auto promise = std::make_shared<QPromise<GenerateOutcome>>();
    watcher.setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, state, seeds, history, stop = stopFlag]() mutable {
        GenerateOutcome outcome;
        outcome.input = state;
        try {
            GenerateOptions options;
            options.history = &history;
            options.stop = stop.get();
            outcome.report = generatePlan(outcome.input, seeds, options);
        } catch (...) {
            outcome.failure = std::current_exception();
        }
        promise->addResult(std::move(outcome));
        promise->finish();
    });
    statusTimer.start();
}

void GenerateCommand::stop()
{
    if (stopFlag)
        stopFlag->store(true);
}

void GenerateCommand::discard()
{
    if (!isRunning())
        return;
    discarded = true;
    stop();
}

void GenerateCommand::waitForFinished()
{
    // A watcher that never had a future would wait for ever.
    if (watcher.future().isValid())
        watcher.waitForFinished();
}

void GenerateCommand::deliver()
{
    statusTimer.stop();
    if (watcher.future().resultCount() < 1)
        return;
    GenerateOutcome outcome = watcher.future().takeResult();
    outcome.discarded = discarded;
    Q_EMIT finished(outcome);
}

bool GenerateCommand::sameInputs(const ClassState &then, const ClassState &now)
{
    const Roster &a = then.roster;
    const Roster &b = now.roster;
    return a.maleNames == b.maleNames && a.femaleNames == b.femaleNames && a.leaderNames == b.leaderNames &&
           a.boarderNames == b.boarderNames && then.fixedPositions == now.fixedPositions &&
           then.mustTogether == now.mustTogether && then.mustSeparate == now.mustSeparate &&
           then.enabledGroups() == now.enabledGroups() && [&] {
               for (int index : then.enabledGroups()) {
                   const GroupConfig &x = then.groupConfigs.at(index);
                   const GroupConfig &y = now.groupConfigs.at(index);
                   if (x.total != y.total || x.males != y.males || x.females != y.females)
                       return false;
               }
               return true;
           }();
}

} // namespace Velmora
