#include "requirementrules.h"

using namespace Qt::StringLiterals;

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
    int broken = 0;
    for (const Constraint &constraint : mustTogether)
        broken += mustTogetherBroken(constraint, map) ? 1 : 0;
    for (const Constraint &constraint : mustSeparate)
        broken += mustSeparateBroken(constraint, map) ? 1 : 0;
    return broken;
}

QString breachSubject(const Breach &breach, const ClassState &state)
{
    if (breach.kind == Breach::Kind::MustTogetherShared)
        return u"要求组%1 和 要求组%2 都在组 %3"_s.arg(breach.first + 1)
            .arg(breach.second + 1)
            .arg(breach.position + 1);
    const Constraint &constraint =
        (breach.kind == Breach::Kind::MustTogetherSplit ? state.mustTogether : state.mustSeparate)
            .at(breach.first);
    QString names;
    for (int person : constraint)
        names += state.roster.nameOf(person) + u' ';
    return names;
}

} // namespace Velmora::RequirementRules
