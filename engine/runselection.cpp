#include "runselection.h"

#include "groupingscore.h"
#include "requirementfeasibility.h"
#include "rulerepair.h"

using namespace Qt::StringLiterals;

namespace Velmora {

SelectedGrouping generateBestGrouping(const ClassState &state, const SeedSource &seeds,
                                      const GroupingEngine::WarningSink &warning, int maxRuns)
{
    return generateBestGrouping(state, seeds, warning, ScoreTerms(), maxRuns);
}

SelectedGrouping generateBestGrouping(const ClassState &state, const SeedSource &seeds,
                                      const GroupingEngine::WarningSink &warning,
                                      const ScoreTerms &extraTerms, int maxRuns)
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
    ScoreTerms terms = scorer.terms();
    terms.insert(terms.end(), extraTerms.cbegin(), extraTerms.cend());
    const OrderedScore bounds = lowerBounds(terms);
    const std::vector<unsigned char> traits = personTraits(state);
    OrderedScore bestScore;
    QStringList bestLog;
    QStringList runLog;
    for (int run = 0; run < qMax(1, maxRuns); ++run) {
        runLog.clear();
        GroupingEngine engine(
            state, [&runLog](const QString &line) { runLog.append(line); }, warning, seedSequence(source()));
        Grouping grouping = engine.run();
        const OrderedScore score = scoreOf(terms, GroupingView(grouping, traits));
        ++result.runs;
        if (run == 0 || score < bestScore) {
            bestScore = score;
            result.grouping = std::move(grouping);
            bestLog.swap(runLog);
        }
        if (reachesBounds(bestScore, bounds))
            break;
    }
    result.log += bestLog;
    result.log.append(u"已比较 %1 次随机分组，选用要求满足最多的一次"_s.arg(result.runs));
    if (GroupingScorer::fromOrdered(bestScore).brokenRequirements > 0)
        result.log += repairGrouping(state, result.grouping);
    return result;
}

} // namespace Velmora
