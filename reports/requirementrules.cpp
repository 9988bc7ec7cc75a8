#include "requirementrules.h"

#include <QHash>
#include <QSet>

namespace Velmora::RequirementRules {

bool mustTogetherBroken(const Constraint &constraint, const PersonGroupMap &map)
{
    QSet<int> positions;
    for (int person : constraint) {
        const int position = groupPositionOf(map, person);
        if (position < 0)
            return true;
        positions.insert(position);
    }
    return positions.size() > 1;
}

bool mustSeparateBroken(const Constraint &constraint, const PersonGroupMap &map)
{
    QHash<int, int> countPerPosition;
    for (int person : constraint) {
        const int position = groupPositionOf(map, person);
        if (position < 0)
            continue;
        if (++countPerPosition[position] >= 2)
            return true;
    }
    return false;
}

int mustTogetherPosition(const Constraint &constraint, const PersonGroupMap &map)
{
    if (constraint.isEmpty())
        return -1;
    return groupPositionOf(map, constraint.first());
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

} // namespace Velmora::RequirementRules
