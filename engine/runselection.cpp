#include "runselection.h"

#include "groupingscore.h"
#include "requirementfeasibility.h"
#include "rulerepair.h"

using namespace Qt::StringLiterals;

namespace Velmora {

SelectedGrouping generateBestGrouping(const ClassState &state, const SeedSource &seeds,
                                      const GroupingEngine::WarningSink &warning, int maxRuns)
{
    const SeedSource source = seeds ? seeds : randomDeviceSeeds();
    SelectedGrouping result;

    // Without a group the pipeline stops with its warning box, which must show once, not per run.
    if (state.enabledGroups().isEmpty()) {
        GroupingEngine engine(
            state, [&](const QString &line) { result.log.append(line); }, warning, seedSequence(source()));
        result.grouping = engine.run();
        result.runs = 1;
        return result;
    }

    result.log = findInfeasibleRequirements(state);
    const GroupingScorer scorer(state);
    GroupingScore bestScore;
    QStringList bestLog;
    QStringList runLog;
    for (int run = 0; run < qMax(1, maxRuns); ++run) {
        runLog.clear();
        GroupingEngine engine(
            state, [&runLog](const QString &line) { runLog.append(line); }, warning, seedSequence(source()));
        Grouping grouping = engine.run();
        const GroupingScore score = scorer.score(grouping);
        ++result.runs;
        if (run == 0 || score < bestScore) {
            bestScore = score;
            result.grouping = std::move(grouping);
            bestLog.swap(runLog);
        }
        if (scorer.isBestPossible(bestScore))
            break;
    }
    result.log += bestLog;
    result.log.append(u"已比较 %1 次随机分组，选用要求满足最多的一次"_s.arg(result.runs));
    if (bestScore.brokenRequirements > 0)
        result.log += repairGrouping(state, result.grouping);
    return result;
}

} // namespace Velmora
