#include "groupingscore.h"

#include <algorithm>

namespace Velmora {

GroupingScorer::GroupingScorer(const ClassState &state)
    : state(state), enabled(state.enabledGroups()), traits(personTraits(state)), builtIn(builtInTerms(state))
{
    leader.assign(traits.size(), 0);
    for (std::size_t p = 1; p < traits.size(); ++p)
        leader[p] = (traits[p] & GroupingView::Leader) != 0;
    OrderedScore bounds;
    for (const ScoreTermPointer &term : builtIn)
        bounds.push_back(term->lowerBound());
    bound = fromOrdered(bounds);
}

GroupingScore GroupingScorer::fromOrdered(const OrderedScore &score)
{
    GroupingScore result;
    if (score.size() < std::size_t(BuiltInTermCount))
        return result;
    result.fixedAway = score[0];
    result.brokenRequirements = score[1];
    result.leaderProblems = score[2];
    result.boarderSpread = score[3];
    result.genderShortfall = score[4];
    return result;
}

void GroupingScorer::locate(const Grouping &grouping) const
{
    positions.assign(leader.size(), -1);
    for (int position = 0; position < grouping.size(); ++position) {
        for (int p : grouping.at(position)) {
            if (p >= 1 && std::size_t(p) < positions.size())
                positions[std::size_t(p)] = position;
        }
    }
}

QList<RequirementRules::Breach> GroupingScorer::breaches(const Grouping &grouping) const
{
    locate(grouping);
    return RequirementRules::findBreaches(state.mustTogether, state.mustSeparate, [this](PersonId p) {
        return p >= 1 && std::size_t(p) < positions.size() ? positions[std::size_t(p)] : -1;
    });
}

GroupingScore GroupingScorer::score(const Grouping &grouping) const
{
    return fromOrdered(scoreOf(builtIn, GroupingView(grouping, traits)));
}

// Part by part: a score below the bound in one part only shows that this part's bound was not
// tight, not that the parts after it no longer matter.
bool GroupingScorer::isBestPossible(const GroupingScore &score) const
{
    return score.brokenRequirements <= bound.brokenRequirements && score.fixedAway <= bound.fixedAway &&
           score.leaderProblems <= bound.leaderProblems && score.boarderSpread <= bound.boarderSpread &&
           score.genderShortfall <= bound.genderShortfall;
}

GroupingScore scoreGrouping(const ClassState &state, const Grouping &grouping)
{
    return GroupingScorer(state).score(grouping);
}

} // namespace Velmora
