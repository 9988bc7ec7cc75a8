#pragma once

#include "grouphistory.h"
#include "model.h"

#include <QString>

#include <tuple>
#include <vector>

namespace Velmora {

// What a grouping repeats of the saved rounds, most important first; lower is better.
struct HistoryCost
{
    int lastRoundPairs = 0;  // pairs that shared a group in the last round
    qint64 earlierPairs = 0; // pairs of the rounds before, weighted by recency and frequency
    int sameGroupNumber = 0; // pupils in the group number they had last time

    auto key() const { return std::tie(lastRoundPairs, earlierPairs, sameGroupNumber); }
    bool operator<(const HistoryCost &other) const { return key() < other.key(); }
    bool operator==(const HistoryCost &other) const { return key() == other.key(); }
};

// The history's terms of the score of a grouping, for one class and the recent rounds of one
// history. Names are resolved once against the roster; those it lacks are ignored. Pairs that
// the requirements or fixed positions keep together cost nothing, and a pupil fixed to a group
// may keep its number, since no grouping could do otherwise.
class HistoryTerms
{
public:
    HistoryTerms(const ClassState &state, const GroupHistory &history);

    // False when the teacher turned the history off or there is no round to learn from.
    bool isActive() const { return roundsUsed > 0; }
    int rounds() const { return roundsUsed; }

    HistoryCost cost(const Grouping &grouping) const;
    // Pairs of the grouping that met in any of the rounds used.
    int recentRepeats(const Grouping &grouping) const;
    // "已参考 …": what the grouping repeats, for the log.
    QString logLine(const Grouping &grouping) const;

    // The three terms folded into one number with tier weights above the largest possible lower
    // tier, for a search that sums them: the weight of two persons sharing a group, and of a
    // person sitting at a position.
    qint64 pairWeight(PersonId a, PersonId b) const
    {
        return inRange(a) && inRange(b) ? pairs[index(a, b)] : 0;
    }
    qint64 seatWeight(PersonId p, int position) const
    {
        return inRange(p) && lastNumber[std::size_t(p)] > 0 && position >= 0 && position < enabled.size() &&
                       enabled.at(position) + 1 == lastNumber[std::size_t(p)]
                   ? 1
                   : 0;
    }
    qint64 foldedCost(const Grouping &grouping) const;

    // The tiers one by one, for the ordered score.
    int lastRoundPair(PersonId a, PersonId b) const
    {
        return inRange(a) && inRange(b) ? lastTogether[index(a, b)] : 0;
    }
    qint64 earlierPair(PersonId a, PersonId b) const
    {
        return inRange(a) && inRange(b) ? earlier[index(a, b)] : 0;
    }

private:
    bool inRange(PersonId p) const { return p >= 1 && p <= people; }
    std::size_t index(PersonId a, PersonId b) const { return std::size_t(a) * std::size_t(people + 1) + b; }
    template <typename Visit> void forEachPair(const Grouping &grouping, const Visit &visit) const;

    int people = 0;
    int roundsUsed = 0;
    QList<int> enabled;
    std::vector<qint64> pairs;      // folded weight by index(a, b)
    std::vector<char> lastTogether; // by index(a, b)
    std::vector<qint32> earlier;    // by index(a, b)
    std::vector<char> metRecently;  // by index(a, b)
    std::vector<int> lastNumber;    // by PersonId; 0 when not seated last time or pinned
    qint64 lastTierWeight = 1;
    qint64 earlierTierWeight = 1;
};

} // namespace Velmora
