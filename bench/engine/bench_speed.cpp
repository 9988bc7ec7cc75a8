// The processor time of one generate for large classes, and how soon "停止" ends one: the goals
// a teacher with many requirements or a long history meets at the window.

#include "benchclasses.h"
#include "grouphistory.h"
#include "plancheck.h"
#include "runselection.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace Velmora::Bench;

namespace {

// `rounds` saved rounds, each the class dealt at random into its groups.
GroupHistory randomHistory(const ClassState &state, int rounds, std::mt19937 &random)
{
    GroupHistory history;
    history.settings.recentRounds = HistorySettings::MaxRecentRounds;
    QStringList names = state.roster.maleNames + state.roster.femaleNames;
    const QList<int> enabled = state.enabledGroups();
    for (int r = 0; r < rounds; ++r) {
        std::shuffle(names.begin(), names.end(), random);
        HistoryRound round;
        for (int g = 0; g < enabled.size(); ++g) {
            HistoryGroup group{enabled.at(g) + 1, {}};
            for (qsizetype i = g; i < names.size(); i += enabled.size())
                group.names.append(names.at(i));
            round.groups.append(group);
        }
        history.record(round);
    }
    return history;
}

bool timeCase(const char *title, const ClassState &state, const GroupHistory *history, int seeds,
              double goalMs)
{
    GenerateOptions options;
    options.history = history;
    double slowest = 0;
    double sum = 0;
    for (int seed = 1; seed <= seeds; ++seed) {
        const double started = threadMilliseconds();
        const GenerateReport report = generatePlan(state, seedSequence(std::uint32_t(seed)), options);
        const double ms = threadMilliseconds() - started;
        slowest = std::max(slowest, ms);
        sum += ms;
        if (!planProblems(state, report.plan).isEmpty())
            std::printf("  %s: seed %d gave a broken plan\n", title, seed);
    }
    const bool met = slowest < goalMs;
    std::printf("  %-52s mean %7.1f ms, max %7.1f ms  (goal max <%.0f ms) %s\n", title, sum / seeds, slowest,
                goalMs, met ? "met" : "MISSED");
    return met;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::printf("Generate on large classes, processor time of one generate over several seeds\n");
    std::mt19937 random(7);
    const ClassState sixty200 = largeClass(60, 200, random);
    const ClassState sixty500 = largeClass(60, 500, random);
    const ClassState big = largeClass(120, 500, random);
    const GroupHistory fifty = randomHistory(big, 50, random);
    bool all = true;
    all = timeCase("60 pupils, 200 requirements", sixty200, nullptr, 10, 300) && all;
    all = timeCase("60 pupils, 500 requirements", sixty500, nullptr, 5, 1000) && all;
    all = timeCase("120 pupils, 500 requirements, 50 rounds of history", big, &fifty, 3, 2000) && all;

    // "停止" from the window: the flag is raised while the search runs; the worker must hand back
    // a whole plan soon after.
    double slowestStop = 0;
    int stoppedRuns = 0;
    for (int delay : {20, 60, 150, 400}) {
        std::atomic_bool stop{false};
        GenerateReport report;
        GenerateOptions options;
        options.history = &fifty;
        options.stop = &stop;
        std::atomic_bool done{false};
        std::thread worker([&] {
            report = generatePlan(big, seedSequence(11), options);
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        QElapsedTimer timer;
        timer.start();
        const bool wasRunning = !done;
        stop = true;
        worker.join();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (!wasRunning)
            continue;
        ++stoppedRuns;
        slowestStop = std::max(slowestStop, ms);
        if (!report.stopped || !planProblems(big, report.plan).isEmpty())
            std::printf("  stop after %d ms: no whole plan\n", delay);
    }
    const bool stopMet = stoppedRuns > 0 && slowestStop < 200;
    std::printf("  %-52s %d stops, slowest %.1f ms (wall)  (goal <200 ms) %s\n",
                "\"停止\" on 120 pupils, 500 requirements, history", stoppedRuns, slowestStop,
                stopMet ? "met" : "MISSED");
    all = all && stopMet;
    std::printf("Speed goals: %s\n", all ? "all met" : "MISSED");
    return 0;
}
