#include "requirementrules.h"

namespace Velmora::RequirementRules {

bool mustTogetherBroken(const Constraint &constraint, const PersonGroupMap &map)
{
    return mustTogetherBroken(constraint, MapLookup{map});
}

bool mustSeparateBroken(const Constraint &constraint, const PersonGroupMap &map)
{
    return mustSeparateBroken(constraint, MapLookup{map});
}

int mustTogetherPosition(const Constraint &constraint, const PersonGroupMap &map)
{
    return mustTogetherPosition(constraint, MapLookup{map});
}

QList<Breach> findBreaches(const QList<Constraint> &mustTogether, const QList<Constraint> &mustSeparate,
                           const PersonGroupMap &map)
{
    return findBreaches(mustTogether, mustSeparate, MapLookup{map});
}

int brokenCount(const QList<Constraint> &mustTogether, const QList<Constraint> &mustSeparate,
                const PersonGroupMap &map)
{
    // Every finding counts, two must-together requirements sharing a group included, so that the
    // count is zero exactly when the requirement check finds everything met.
    return int(findBreaches(mustTogether, mustSeparate, map).size());
}

QString breachNames(const Breach &breach, const ClassState &state)
{
    const auto namesOf = [&state](const Constraint &constraint) {
        QString names;
        for (int person : constraint)
            names += state.roster.nameOf(person) + u' ';
        return names;
    };
    switch (breach.kind) {
    case Breach::Kind::MustTogetherSplit:
        return namesOf(state.mustTogether.at(breach.first));
    case Breach::Kind::MustTogetherShared:
        return namesOf(state.mustTogether.at(breach.first)) + namesOf(state.mustTogether.at(breach.second));
    case Breach::Kind::MustSeparateJoined:
        return namesOf(state.mustSeparate.at(breach.first));
    }
    return QString();
}

} // namespace Velmora::RequirementRules
