#include "groupingscore.h"

#include <algorithm>

namespace Velmora {

namespace {

// The position of the group a fixed seat names, or -1 when the stage that places fixed persons
// refuses it (group disabled or unknown, seat outside the group).
int fixedPosition(const ClassState &state, const QList<int> &enabled, const QPair<int, int> &seat)
{
    const int index = seat.first - 1;
    if (index < 0 || index >= state.groupConfigs.size() || seat.second < 1 ||
        seat.second > state.groupConfigs.at(index).total)
        return -1;
    return int(enabled.indexOf(index));
}

} // namespace

GroupingScorer::GroupingScorer(const ClassState &state) : state(state), enabled(state.enabledGroups())
{
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    leader.assign(std::size_t(people) + 1, 0);
    boarder.assign(std::size_t(people) + 1, 0);
    int leaders = 0;
    int boarders = 0;
    for (int p = 1; p <= people; ++p) {
        leader[std::size_t(p)] = state.roster.isLeader(p);
        boarder[std::size_t(p)] = state.roster.isBoarder(p);
        leaders += leader[std::size_t(p)];
        boarders += boarder[std::size_t(p)];
    }

    const int groups = int(enabled.size());
    if (groups > 0) {
        bound.leaderProblems = leaders < groups ? groups - leaders : (leaders > groups ? 1 : 0);
        bound.boarderSpread = boarders % groups == 0 ? 0 : 1;
    }
    // Targets beyond the class cannot be met by any grouping.
    int boysWanted = 0;
    int girlsWanted = 0;
    for (int index : enabled) {
        boysWanted += qMax(0, state.groupConfigs.at(index).males);
        girlsWanted += qMax(0, state.groupConfigs.at(index).females);
    }
    bound.genderShortfall =
        qMax(0, boysWanted - state.roster.maleCount()) + qMax(0, girlsWanted - state.roster.femaleCount());
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
    GroupingScore result;
    result.brokenRequirements = int(breaches(grouping).size());

    for (auto it = state.fixedPositions.cbegin(); it != state.fixedPositions.cend(); ++it) {
        // The result holds no empty seats, so seat numbers cannot be read back from it; the group
        // is what the requirement check and the teacher see.
        const int position = fixedPosition(state, enabled, it.value());
        const int at =
            it.key() >= 1 && std::size_t(it.key()) < positions.size() ? positions[std::size_t(it.key())] : -1;
        if (position >= 0 && at != position)
            ++result.fixedAway;
    }

    int most = 0;
    int fewest = 0;
    for (int position = 0; position < grouping.size(); ++position) {
        const QList<int> &group = grouping.at(position);
        int leaders = 0;
        int boarders = 0;
        int boys = 0;
        for (int p : group) {
            leaders += flag(leader, p);
            boarders += flag(boarder, p);
            boys += state.roster.isBoy(p);
        }
        if (leaders != 1)
            ++result.leaderProblems;
        most = position == 0 ? boarders : qMax(most, boarders);
        fewest = position == 0 ? boarders : qMin(fewest, boarders);
        // Only a shortfall counts: the round-robin fills seat the rest of the class wherever seats
        // are free, so a group above its target is the pipeline working as designed.
        if (position < enabled.size()) {
            const GroupConfig &config = state.groupConfigs.at(enabled.at(position));
            result.genderShortfall +=
                qMax(0, config.males - boys) + qMax(0, config.females - int(group.size() - boys));
        }
    }
    result.boarderSpread = most - fewest;
    return result;
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
