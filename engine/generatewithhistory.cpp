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
    SelectedGrouping selected = generateBestGrouping(state, seeds, warning, historyScoreTerms(terms));
    qsizetype at = selected.log.size();
    for (qsizetype i = 0; i < selected.log.size(); ++i) {
        if (selected.log.at(i).startsWith(u"已比较 "_s))
            at = i + 1;
    }
    selected.log.insert(at, terms->logLine(selected.grouping));
    return selected;
}

} // namespace Velmora
