#pragma once

#include "generatereport.h"
#include "grouphistory.h"
#include "model.h"
#include "seedsource.h"

#include <QFutureWatcher>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <exception>
#include <memory>

namespace Velmora {

// What a generate hands back to the window: the class it ran on, and its report or the exception
// that ended it.
struct GenerateOutcome
{
    ClassState input;
    GenerateReport report;
    std::exception_ptr failure;
    // The window had the result dropped (a reset, a new chart) before it arrived.
    bool discarded = false;
};

// Runs a generate on a worker thread so that the window keeps painting and answering. The worker
// works on its own copy of the class; the window's state is never touched from it. `stop` asks
// the search to end with the best plan found so far; the result still arrives, as usual.
//
//     connect(command, &GenerateCommand::finished, window, &MainWindow::showGenerated);
//     command->start(state, seeds, history);
class GenerateCommand : public QObject
{
    Q_OBJECT

public:
    explicit GenerateCommand(QObject *parent = nullptr);
    // Stops a generate still running and waits for it: the worker must not outlive its receiver.
    ~GenerateCommand() override;

    bool isRunning() const;
    // Nothing while a generate runs. `seeds` is shared with the caller, who must not draw from it
    // until `finished`.
    void start(const ClassState &state, const SeedSource &seeds, const GroupHistory &history);
    void stop();
    // Stops and marks the result dropped: whatever the window shows now replaced it.
    void discard();
    void waitForFinished();

    // After this long a generate counts as slow and the window says it is working.
    static constexpr int StatusDelayMs = 200;

    // Whether `now` still has the roster, groups, fixed seats and requirements `then` had: a plan
    // made for other numbers must never be shown.
    static bool sameInputs(const ClassState &then, const ClassState &now);

Q_SIGNALS:
    void slow();
    void finished(const Velmora::GenerateOutcome &outcome);

private:
    void deliver();

    QFutureWatcher<GenerateOutcome> watcher;
    QTimer statusTimer;
    std::shared_ptr<std::atomic_bool> stopFlag;
    bool discarded = false;
};

} // namespace Velmora

Q_DECLARE_METATYPE(Velmora::GenerateOutcome)
