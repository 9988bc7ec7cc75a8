#include "generatewithhistory.h"

#include "historyscoreterms.h"

using namespace Qt::StringLiterals;

namespace Velmora {

SelectedGrouping generateWithHistory(const ClassState &state, const SeedSource &seeds,
                                     const GroupingEngine::WarningSink &warning, const GroupHistory &history)
{
    const auto terms = std::make_shared<const HistoryTerms>(state, history);
    if (!terms->isActive() || state.enabledGroups().isEmpty())
        return generateBestGrouping(state, seeds, warning);
    const SeedSource source = seeds ? seeds : randomDeviceSeeds();
    const ScoreTerms extra = historyScoreTerms(terms);
    SelectedGrouping selected = generateBestGrouping(state, source, warning, extra);
    // The search sometimes settles with a pair of the last round together that other runs avoid;
    // one more attempt from the next seeds, kept only when it scores better, mends most of those.
    if (terms->cost(selected.grouping).lastRoundPairs > 0) {
        SelectedGrouping again = generateBestGrouping(state, source, warning, extra);
        ScoreTerms all = builtInTerms(state);
        all.insert(all.end(), extra.cbegin(), extra.cend());
        const std::vector<unsigned char> traits = personTraits(state);
        if (scoreOf(all, GroupingView(again.grouping, traits)) <
            scoreOf(all, GroupingView(selected.grouping, traits)))
            selected = std::move(again);
    }
    qsizetype at = selected.log.size();
    for (qsizetype i = 0; i < selected.log.size(); ++i) {
        if (selected.log.at(i).startsWith(u"已比较 "_s))
            at = i + 1;
    }
    selected.log.insert(at, terms->logLine(selected.grouping));
    return selected;
}

} // namespace Velmora
