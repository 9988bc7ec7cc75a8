#include "requirementcheck.h"

#include "persongroupmap.h"
#include "requirementrules.h"

using namespace Qt::StringLiterals;

namespace Velmora {

static QString namesEachFollowedByBlank(const Constraint &constraint, const Roster &roster)
{
    QString names;
    for (int person : constraint)
        names += roster.nameOf(person) + u' ';
    return names;
}

RequirementCheckResult checkRequirements(const ClassState &state)
{
    RequirementCheckResult result;
    result.lines.append(u"开始检查要求..."_s);
    const PersonGroupMap map = buildPersonGroupMap(state.currentGrouping);

    for (const Constraint &constraint : state.mustTogether) {
        if (RequirementRules::mustTogetherBroken(constraint, map)) {
            result.lines.append(u"必须同组要求未满足: "_s +
                                namesEachFollowedByBlank(constraint, state.roster));
            result.allSatisfied = false;
        }
    }

    const int togetherCount = int(state.mustTogether.size());
    for (int a = 0; a < togetherCount; ++a) {
        const int positionA = RequirementRules::mustTogetherPosition(state.mustTogether.at(a), map);
        if (positionA < 0)
            continue;
        for (int b = a + 1; b < togetherCount; ++b) {
            if (RequirementRules::mustTogetherPosition(state.mustTogether.at(b), map) != positionA)
                continue;
            result.lines.append(
                u"不同要求组在同一组: 要求组%1 和 要求组%2 都在组 %3"_s.arg(a + 1).arg(b + 1).arg(positionA +
                                                                                                  1));
            result.allSatisfied = false;
        }
    }

    for (const Constraint &constraint : state.mustSeparate) {
        if (RequirementRules::mustSeparateBroken(constraint, map)) {
            result.lines.append(u"不能同组要求未满足: "_s +
                                namesEachFollowedByBlank(constraint, state.roster));
            result.allSatisfied = false;
        }
    }

    result.lines.append(result.allSatisfied ? u"所有要求已满足"_s : u"部分要求未满足"_s);
    return result;
}

} // namespace Velmora
