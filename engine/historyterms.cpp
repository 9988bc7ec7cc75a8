#include "historyterms.h"

#include <QSet>

#include <numeric>

namespace Velmora {

namespace {

constexpr qint32 MaxCountedMeetings = 200;

// Persons the requirements or fixed positions keep together, as connected parts: must-together
// members join each other, and a fixed person joins a node of the group the seat is in, so two
// persons fixed to one group, and whoever must sit with them, are joined too.
class ForcedParts
{
public:
    ForcedParts(const ClassState &state, int people)
        : people(people), parent(std::size_t(people) + GroupCount + 1)
    {
        std::iota(parent.begin(), parent.end(), 0);
        for (const Constraint &together : state.mustTogether) {
            for (PersonId p : together) {
                if (valid(p) && valid(together.first()))
                    join(p, together.first());
            }
        }
        const QList<int> enabled = state.enabledGroups();
        for (auto it = state.fixedPositions.cbegin(); it != state.fixedPositions.cend(); ++it) {
            const int groupIndex = it.value().first - 1;
            if (!valid(it.key()) || !enabled.contains(groupIndex) || it.value().second < 1 ||
                it.value().second > state.groupConfigs.at(groupIndex).total)
                continue;
            join(it.key(), people + 1 + groupIndex);
        }
    }

    bool together(PersonId a, PersonId b) { return find(a) == find(b); }
    bool pinned(PersonId p)
    {
        const int root = find(p);
        for (int g = 0; g < GroupCount; ++g) {
            if (find(people + 1 + g) == root)
                return true;
        }
        return false;
    }

private:
    bool valid(PersonId p) const { return p >= 1 && p <= people; }
    int find(int node)
    {
        while (parent[std::size_t(node)] != node) {
            parent[std::size_t(node)] = parent[std::size_t(parent[std::size_t(node)])];
            node = parent[std::size_t(node)];
        }
        return node;
    }
    void join(int a, int b) { parent[std::size_t(find(a))] = find(b); }

    int people;
    std::vector<int> parent;
};

} // namespace

HistoryTerms::HistoryTerms(const ClassState &state, const GroupHistory &history)
    : people(state.roster.maleCount() + state.roster.femaleCount()), enabled(state.enabledGroups())
{
    if (!history.settings.avoidRepeats || history.rounds.isEmpty() || people < 1)
        return;
    const int window = qMax(1, history.settings.recentRounds);
    roundsUsed = int(qMin<qsizetype>(history.rounds.size(), window));

    const std::size_t cells = (std::size_t(people) + 1) * (std::size_t(people) + 1);
    lastTogether.assign(cells, 0);
    earlier.assign(cells, 0);
    metRecently.assign(cells, 0);
    std::vector<qint32> meetings(cells, 0);
    lastNumber.assign(std::size_t(people) + 1, 0);

    // Every kept round counts the meetings; only the recent ones make a pair cost anything.
    for (int age = 1; age <= history.rounds.size(); ++age) {
        const bool recent = age <= roundsUsed;
        const HistoryRound &round = history.rounds.at(history.rounds.size() - age);
        // A name twice in one round is one person, and a pair is counted once per round.
        QList<QList<PersonId>> groups;
        QSet<PersonId> seen;
        for (const HistoryGroup &group : round.groups) {
            QList<PersonId> members;
            for (const QString &name : group.names) {
                const auto found = state.roster.nameToId.constFind(name);
                if (found == state.roster.nameToId.cend() || !inRange(*found) || seen.contains(*found))
                    continue;
                seen.insert(*found);
                members.append(*found);
                if (age == 1)
                    lastNumber[std::size_t(*found)] = group.number;
            }
            groups.append(members);
        }
        // The most recent of the earlier rounds weighs most, the oldest still about half as much, so
        // that a pair of any recent round is worth avoiding; the last round has a tier of its own.
        const qint32 recency = qint32(2 * window - age + 1);
        for (const QList<PersonId> &members : std::as_const(groups)) {
            for (PersonId a : members) {
                for (PersonId b : members) {
                    if (a == b)
                        continue;
                    ++meetings[index(a, b)];
                    if (!recent)
                        continue;
                    metRecently[index(a, b)] = 1;
                    if (age == 1)
                        lastTogether[index(a, b)] = 1;
                    else
                        earlier[index(a, b)] += recency;
                }
            }
        }
    }

    ForcedParts forced(state, people);
    for (PersonId p = 1; p <= people; ++p) {
        if (lastNumber[std::size_t(p)] > 0 && forced.pinned(p))
            lastNumber[std::size_t(p)] = 0;
    }
    for (PersonId a = 1; a <= people; ++a) {
        for (PersonId b = 1; b <= people; ++b) {
            const std::size_t at = index(a, b);
            if (!metRecently[at])
                continue;
            if (forced.together(a, b)) {
                lastTogether[at] = 0;
                earlier[at] = 0;
                metRecently[at] = 0;
                continue;
            }
            // Pairs that met often, in all the kept rounds, cost far more than their recent rounds
            // alone (by the square of the meetings), so that meetings spread over the whole class
            // instead of piling up on a few pairs. Bounded so that years of rounds cannot overflow.
            const qint32 often = qMin(meetings[at], MaxCountedMeetings);
            earlier[at] *= often * often;
        }
    }
}

template <typename Visit> void HistoryTerms::forEachPair(const Grouping &grouping, const Visit &visit) const
{
    for (const QList<int> &group : grouping) {
        for (qsizetype i = 0; i < group.size(); ++i) {
            for (qsizetype j = i + 1; j < group.size(); ++j) {
                if (inRange(group.at(i)) && inRange(group.at(j)) && group.at(i) != group.at(j))
                    visit(index(group.at(i), group.at(j)));
            }
        }
    }
}

int HistoryTerms::recentRepeats(const Grouping &grouping) const
{
    int count = 0;
    if (isActive())
        forEachPair(grouping, [&](std::size_t at) { count += metRecently[at]; });
    return count;
}

} // namespace Velmora
