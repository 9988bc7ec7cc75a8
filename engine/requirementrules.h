#pragma once

#include "model.h"
#include "persongroupmap.h"

namespace Velmora {

// The judgements shared by the group details, the requirement check and the score of a grouping,
// so that all of them always agree about what is broken. Each takes the position of a person
// from a lookup that answers -1 for a person without a seat: a PersonGroupMap, or the flat table
// the score uses because it judges thousands of candidate groupings.
namespace RequirementRules {

// Broken when the members are spread over more than one group, or when any member holds no seat.
// A requirement without members asks for nothing.
template <typename PositionOf>
bool mustTogetherBroken(const Constraint &constraint, const PositionOf &positionOf)
{
    if (constraint.isEmpty())
        return false;
    const int first = positionOf(constraint.first());
    if (first < 0)
        return true;
    for (int person : constraint) {
        if (positionOf(person) != first)
            return true;
    }
    return false;
}

// Broken as soon as two seated members share a group. Unseated members sit nowhere, so they
// never break it.
template <typename PositionOf>
bool mustSeparateBroken(const Constraint &constraint, const PositionOf &positionOf)
{
    for (qsizetype i = 0; i < constraint.size(); ++i) {
        const int position = positionOf(constraint.at(i));
        if (position < 0)
            continue;
        for (qsizetype j = i + 1; j < constraint.size(); ++j) {
            if (positionOf(constraint.at(j)) == position)
                return true;
        }
    }
    return false;
}

// The position a must-together requirement is located at: that of its first member, or -1 when
// it has none or the first member holds no seat.
template <typename PositionOf>
int mustTogetherPosition(const Constraint &constraint, const PositionOf &positionOf)
{
    return constraint.isEmpty() ? -1 : positionOf(constraint.first());
}

// One finding of the requirement check. `first` and `second` index the requirement lists.
struct Breach
{
    enum class Kind
    {
        MustTogetherSplit,  // mustTogether[first] is spread over groups
        MustTogetherShared, // mustTogether[first] and [second] both sit at `position`
        MustSeparateJoined, // two members of mustSeparate[first] share a group
    };
    Kind kind;
    int first;
    int second = -1;
    int position = -1;
};

// The must-together requirements joined where they share a person: each block can only be kept
// in one group as a whole. Sorted members, persons outside 1..people left out, blocks of one
// person dropped.
QList<QList<PersonId>> togetherBlocks(const QList<Constraint> &mustTogether, int people);

// Every finding, in the order the requirement check reports them.
template <typename PositionOf>
QList<Breach> findBreaches(const QList<Constraint> &mustTogether, const QList<Constraint> &mustSeparate,
                           const PositionOf &positionOf)
{
    QList<Breach> breaches;
    const int togetherCount = int(mustTogether.size());
    for (int a = 0; a < togetherCount; ++a) {
        if (mustTogetherBroken(mustTogether.at(a), positionOf))
            breaches.append({Breach::Kind::MustTogetherSplit, a});
    }
    for (int a = 0; a < togetherCount; ++a) {
        const int positionA = mustTogetherPosition(mustTogether.at(a), positionOf);
        if (positionA < 0)
            continue;
        for (int b = a + 1; b < togetherCount; ++b) {
            if (mustTogetherPosition(mustTogether.at(b), positionOf) == positionA)
                breaches.append({Breach::Kind::MustTogetherShared, a, b, positionA});
        }
    }
    for (int s = 0; s < int(mustSeparate.size()); ++s) {
        if (mustSeparateBroken(mustSeparate.at(s), positionOf))
            breaches.append({Breach::Kind::MustSeparateJoined, s});
    }
    return breaches;
}

// The lookup of a PersonGroupMap, without inserting.
struct MapLookup
{
    const PersonGroupMap &map;
    int operator()(PersonId person) const { return groupPositionOf(map, person); }
};

bool mustTogetherBroken(const Constraint &constraint, const PersonGroupMap &map);
bool mustSeparateBroken(const Constraint &constraint, const PersonGroupMap &map);
int mustTogetherPosition(const Constraint &constraint, const PersonGroupMap &map);
QList<Breach> findBreaches(const QList<Constraint> &mustTogether, const QList<Constraint> &mustSeparate,
                           const PersonGroupMap &map);

// How many findings the requirement check would report for this grouping.
int brokenCount(const QList<Constraint> &mustTogether, const QList<Constraint> &mustSeparate,
                const PersonGroupMap &map);

// The names of the members a finding is about, each followed by a blank, as the requirement check
// writes them; for two must-together requirements in one group, those of both.
QString breachNames(const Breach &breach, const ClassState &state);

} // namespace RequirementRules
} // namespace Velmora
