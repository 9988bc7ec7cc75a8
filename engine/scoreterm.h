#pragma once

#include "model.h"

#include <QtGlobal>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace Velmora {

// One person changing groups: positions in the grouping, -1 for no seat.
struct PersonMove
{
    PersonId person;
    int from;
    int to;
};

// What the score terms know of each person, by PersonId (entry 0 unused): the GroupingView::Trait
// bits, and the score in hundredths (-1 for none). The score bands and the scores are there only
// while the groups are balanced by scores, so that otherwise every term sees exactly what it did
// before scores existed.
struct PersonTraits
{
    std::vector<unsigned char> kinds;
    std::vector<int> scores; // empty while not balancing
};

// A grouping as the score terms see it while it is searched: who sits in which group, and a few
// tallies per group that every term would otherwise recount for each candidate change.
//
// Members of a group come in no particular order; a term must not depend on it.
class GroupingView
{
public:
    enum Trait : unsigned char
    {
        Boy = 1,
        Leader = 2,
        Boarder = 4,
        HighBand = 8,
        MiddleBand = 16,
        LowBand = 32,
    };
    static constexpr int TraitCount = 6;

    GroupingView(const Grouping &grouping, PersonTraits traits);

    int groupCount() const { return int(groups.size()); }
    int personCount() const { return int(traits.size()) - 1; }
    const std::vector<PersonId> &membersOf(int position) const { return groups[std::size_t(position)]; }
    // The persons of the class without a seat.
    const std::vector<PersonId> &unseatedPersons() const { return unseated; }
    int sizeOf(int position) const { return int(groups[std::size_t(position)].size()); }
    int positionOf(PersonId p) const
    {
        return p >= 1 && std::size_t(p) < where.size() ? where[std::size_t(p)] : -1;
    }
    unsigned char traitsOf(PersonId p) const
    {
        return p >= 1 && std::size_t(p) < traits.size() ? traits[std::size_t(p)] : 0;
    }
    // How many persons with `trait` sit at `position`. Inline: the terms' deltas ask for it
    // several times for each of the search's hundreds of thousands of candidate changes.
    int count(int position, Trait trait) const { return tally[std::size_t(position)][bitIndex(trait)]; }
    // The persons with a score at `position`, and the sum of their scores in hundredths.
    int scoredCount(int position) const
    {
        const auto &t = tally[std::size_t(position)];
        return t[bitIndex(HighBand)] + t[bitIndex(MiddleBand)] + t[bitIndex(LowBand)];
    }
    qint64 scoreSum(int position) const { return sums[std::size_t(position)]; }
    int scoreOf(PersonId p) const
    {
        return p >= 1 && std::size_t(p) < scores.size() ? scores[std::size_t(p)] : -1;
    }

    // Moves are applied one after the other; an exchange is two moves. Position -1 takes a
    // person off their seat or, as `from`, seats someone who had none.
    void apply(const std::vector<PersonMove> &moves);
    void revert(const std::vector<PersonMove> &moves);

private:
    void move(PersonId p, int to);
    static constexpr std::size_t bitIndex(Trait trait)
    {
        std::size_t index = 0;
        while (index + 1 < TraitCount && !(unsigned(trait) & (1u << index)))
            ++index;
        return index;
    }

    std::vector<std::vector<PersonId>> groups;
    std::vector<PersonId> unseated;
    std::vector<int> where;                         // by PersonId
    std::vector<unsigned char> traits;              // by PersonId
    std::vector<int> scores;                        // by PersonId; empty while not balancing
    std::vector<std::array<int, TraitCount>> tally; // by position and Trait bit
    std::vector<qint64> sums;                       // by position: scores
    std::vector<std::size_t> slot;                  // by PersonId: index in its group's member list
};

// One tier of the ordered score of a grouping. Lower is better; two groupings compare by the
// first term in which they differ, so a term only matters among groupings that tie on every
// term before it.
//
// The search calls `delta` for each candidate change and falls back to applying the change and
// calling `cost` when a term gives none, so `delta` is an optional speed-up. Terms must be pure:
// the same view gives the same cost, and they must not keep state between calls.
class ScoreTerm
{
public:
    virtual ~ScoreTerm() = default;

    virtual qint64 cost(const GroupingView &view) const = 0;

    // The cost after `moves`, applied in order to `view`, minus the cost of `view`.
    virtual std::optional<qint64> delta(const GroupingView &view, const std::vector<PersonMove> &moves) const
    {
        Q_UNUSED(view);
        Q_UNUSED(moves);
        return std::nullopt;
    }

    // No grouping of the class costs less; the search stops early once every term reaches it.
    virtual qint64 lowerBound() const { return 0; }
};

using ScoreTermPointer = std::shared_ptr<const ScoreTerm>;
// Most important first. The built-in terms of a class come first (see builtInTerms); terms a
// caller passes to the generate are appended after them and rank below them.
using ScoreTerms = std::vector<ScoreTermPointer>;

// The score of a plan: one cost per term, in the order of the terms, compared lexicographically.
// The built-in tiers come first; the history's three follow when the history takes part.
class OrderedScore
{
public:
    enum Tier : int
    {
        FixedAway,          // persons away from the group of their accepted fixed seat
        BrokenRequirements, // findings of the requirement check
        LeaderProblems,     // groups without exactly one leader
        BoarderSpread,      // most minus fewest boarders in a group
        GenderShortfall,    // boys and girls missing to the groups' targets
        ScoreBands,         // groups of three or more seats without a pupil of a score band
        ScoreGap,           // highest minus lowest group mean (see builtInTerms)
        LastRoundPairs,     // pairs that shared a group in the last saved round
        EarlierPairs,       // pairs of the rounds before, weighted by recency and frequency
        SameGroupNumber,    // pupils in the group number they had last time
    };

    OrderedScore() = default;
    explicit OrderedScore(std::vector<qint64> costs) : costs(std::move(costs)) {}

    std::size_t size() const { return costs.size(); }
    bool empty() const { return costs.empty(); }
    qint64 operator[](std::size_t i) const { return costs[i]; }
    // 0 for a tier the score does not have (the history's, without history).
    qint64 tier(Tier t) const { return std::size_t(t) < costs.size() ? costs[std::size_t(t)] : 0; }
    void push_back(qint64 cost) { costs.push_back(cost); }
    void reserve(std::size_t n) { costs.reserve(n); }
    const std::vector<qint64> &values() const { return costs; }

    // The first tier in which this score is worse than `other`, where every tier before it ties;
    // -1 when it is not worse.
    int firstWorseTier(const OrderedScore &other) const
    {
        for (std::size_t i = 0; i < costs.size() && i < other.costs.size(); ++i) {
            if (costs[i] != other.costs[i])
                return costs[i] > other.costs[i] ? int(i) : -1;
        }
        return -1;
    }

    friend bool operator<(const OrderedScore &a, const OrderedScore &b) { return a.costs < b.costs; }
    friend bool operator<=(const OrderedScore &a, const OrderedScore &b) { return a.costs <= b.costs; }
    friend bool operator==(const OrderedScore &a, const OrderedScore &b) { return a.costs == b.costs; }
    friend bool operator!=(const OrderedScore &a, const OrderedScore &b) { return a.costs != b.costs; }

private:
    std::vector<qint64> costs;
};

// The traits table of a class, for GroupingView.
PersonTraits personTraits(const ClassState &state);

// The built-in tiers, in the order of OrderedScore::Tier. The two score tiers cost nothing unless
// the groups are balanced by scores. The gap is kept exactly: its cost is the gap in hundredths
// times a scale that depends on the class (the fourth power of the most scored pupils a group can
// hold), rounded down, so that two different gaps never cost the same.
ScoreTerms builtInTerms(const ClassState &state);
constexpr int BuiltInTermCount = 7;

OrderedScore scoreOf(const ScoreTerms &terms, const GroupingView &view);
OrderedScore lowerBounds(const ScoreTerms &terms);
// Every term at or below its bound: no grouping can do better.
bool reachesBounds(const OrderedScore &score, const OrderedScore &bounds);

} // namespace Velmora
