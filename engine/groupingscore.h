#pragma once

#include "model.h"
#include "requirementrules.h"
#include "scoreterm.h"

#include <tuple>
#include <vector>

namespace Velmora {

// The built-in terms of a grouping's score (see builtInTerms), by name; lower is better and two
// scores compare lexicographically, fixed persons first.
struct GroupingScore
{
    qint64 brokenRequirements = 0; // findings of the requirement check
    qint64 fixedAway = 0;          // fixed persons outside the group of their fixed seat
    qint64 leaderProblems = 0;     // groups without exactly one leader
    qint64 boarderSpread = 0;      // most minus fewest boarders in a group
    qint64 genderShortfall = 0;    // boys and girls missing to the groups' targets

    auto key() const
    {
        return std::tie(fixedAway, brokenRequirements, leaderProblems, boarderSpread, genderShortfall);
    }
    bool operator<(const GroupingScore &other) const { return key() < other.key(); }
    bool operator==(const GroupingScore &other) const { return key() == other.key(); }
};

// Scores groupings of one class. The per-person facts are looked up once, since the repair scores
// hundreds of candidate exchanges.
class GroupingScorer
{
public:
    explicit GroupingScorer(const ClassState &state);

    GroupingScore score(const Grouping &grouping) const;
    // The findings of the requirement check on this grouping.
    QList<RequirementRules::Breach> breaches(const Grouping &grouping) const;

    bool isLeader(PersonId p) const { return flag(leader, p); }

    // A score no grouping of this class can beat; a run that reaches it ends the search.
    GroupingScore bestPossible() const { return bound; }
    bool isBestPossible(const GroupingScore &score) const;

    const ScoreTerms &terms() const { return builtIn; }
    static GroupingScore fromOrdered(const OrderedScore &score);

private:
    static bool flag(const std::vector<char> &flags, PersonId p)
    {
        return p >= 1 && std::size_t(p) < flags.size() && flags[std::size_t(p)];
    }
    // Where each person sits, -1 for nowhere; a flat table is rebuilt far faster than a map.
    void locate(const Grouping &grouping) const;

    const ClassState &state;
    QList<int> enabled;
    std::vector<char> leader; // by PersonId
    std::vector<unsigned char> traits;
    ScoreTerms builtIn;
    mutable std::vector<int> positions;
    GroupingScore bound;
};

GroupingScore scoreGrouping(const ClassState &state, const Grouping &grouping);

} // namespace Velmora
