#pragma once

#include "grouphistory.h"
#include "model.h"

#include <vector>

namespace Velmora {

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

    // Pairs of the grouping that met in any of the rounds used.
    int recentRepeats(const Grouping &grouping) const;

    // Per pair and per person, for the score's tiers: whether two persons shared a group in the
    // last round, their weight from the rounds before, and whether a person at a position would
    // sit in the group number of last time.
    int lastRoundPair(PersonId a, PersonId b) const
    {
        return inRange(a) && inRange(b) ? lastTogether[index(a, b)] : 0;
    }
    qint64 earlierPair(PersonId a, PersonId b) const
    {
        return inRange(a) && inRange(b) ? earlier[index(a, b)] : 0;
    }
    qint64 seatWeight(PersonId p, int position) const
    {
        return inRange(p) && lastNumber[std::size_t(p)] > 0 && position >= 0 && position < enabled.size() &&
                       enabled.at(position) + 1 == lastNumber[std::size_t(p)]
                   ? 1
                   : 0;
    }

private:
    bool inRange(PersonId p) const { return p >= 1 && p <= people; }
    std::size_t index(PersonId a, PersonId b) const { return std::size_t(a) * (std::size_t(people) + 1) + b; }
    template <typename Visit> void forEachPair(const Grouping &grouping, const Visit &visit) const;

    int people = 0;
    int roundsUsed = 0;
    QList<int> enabled;
    std::vector<char> lastTogether; // by index(a, b)
    std::vector<qint32> earlier;    // by index(a, b)
    std::vector<char> metRecently;  // by index(a, b)
    std::vector<int> lastNumber;    // by PersonId; 0 when not seated last time or pinned
};

} // namespace Velmora
