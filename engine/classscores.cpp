#include "classscores.h"

#include <algorithm>

namespace Velmora {

ClassScores::ClassScores(const ClassState &state) : balance(state.balanceByScores)
{
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    scores.assign(std::size_t(people) + 1, -1);
    bands.assign(std::size_t(people) + 1, -1);
    std::vector<PersonId> ranked;
    for (PersonId p = 1; p <= people; ++p) {
        const auto it = state.roster.scores.constFind(state.roster.nameOf(p));
        if (it == state.roster.scores.cend() || it.value() < 0 || it.value() > MaxHundredths)
            continue;
        scores[std::size_t(p)] = it.value();
        ranked.push_back(p);
    }
    scored = int(ranked.size());
    std::stable_sort(ranked.begin(), ranked.end(), [this](PersonId a, PersonId b) {
        return scores[std::size_t(a)] > scores[std::size_t(b)];
    });
    // A pupil's band is that of the first rank their score holds, so a tie never splits.
    int firstRank = 0;
    for (int rank = 0; rank < scored; ++rank) {
        const PersonId p = ranked[std::size_t(rank)];
        if (rank > 0 && scores[std::size_t(p)] != scores[std::size_t(ranked[std::size_t(rank - 1)])])
            firstRank = rank;
        const int band = int(qint64(BandCount) * firstRank / scored);
        bands[std::size_t(p)] = band;
        ++sizes[std::size_t(band)];
    }
}

QList<GroupScores> groupScores(const ClassScores &scores, const SeatingPlan &plan)
{
    QList<GroupScores> groups;
    for (int position = 0; position < plan.groupCount(); ++position) {
        GroupScores group;
        group.group = plan.numberAt(position);
        group.seats = plan.seatCount(position);
        for (PersonId p : plan.membersAt(position)) {
            const int band = scores.bandOf(p);
            if (band < 0)
                continue;
            group.sum += scores.scoreOf(p);
            ++group.scored;
            ++group.bands[std::size_t(band)];
        }
        groups.append(group);
    }
    return groups;
}

qint64 roundedMean(qint64 sum, int count)
{
    return count > 0 ? (2 * sum + count) / (2 * qint64(count)) : 0;
}

std::pair<int, int> extremeMeans(const QList<GroupScores> &groups)
{
    int highest = -1;
    int lowest = -1;
    for (int i = 0; i < groups.size(); ++i) {
        const GroupScores &g = groups.at(i);
        if (!g.hasMean())
            continue;
        if (highest < 0 || meanBelow(groups.at(highest).sum, groups.at(highest).scored, g.sum, g.scored))
            highest = i;
        if (lowest < 0 || meanBelow(g.sum, g.scored, groups.at(lowest).sum, groups.at(lowest).scored))
            lowest = i;
    }
    return {highest, lowest};
}

} // namespace Velmora
