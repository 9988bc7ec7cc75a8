#include "requirementcheck.h"

#include "persongroupmap.h"
#include "requirementrules.h"

using namespace Qt::StringLiterals;

namespace Velmora {

RequirementCheckResult checkRequirements(const ClassState &state)
{
    using RequirementRules::Breach;
    RequirementCheckResult result;
    result.lines.append(u"开始检查要求..."_s);
    const QList<Breach> breaches = RequirementRules::findBreaches(
        state.mustTogether, state.mustSeparate, buildPersonGroupMap(state.currentGrouping.members()));
    for (const Breach &breach : breaches) {
        switch (breach.kind) {
        case Breach::Kind::MustTogetherSplit:
            result.lines.append(u"必须同组要求未满足: "_s + RequirementRules::breachNames(breach, state));
            break;
        case Breach::Kind::MustTogetherShared:
            result.lines.append(u"不同要求组在同一组: 要求组%1 和 要求组%2 都在组 %3"_s.arg(breach.first + 1)
                                    .arg(breach.second + 1)
                                    .arg(breach.position + 1));
            break;
        case Breach::Kind::MustSeparateJoined:
            result.lines.append(u"不能同组要求未满足: "_s + RequirementRules::breachNames(breach, state));
            break;
        }
    }
    result.allSatisfied = breaches.isEmpty();
    result.lines.append(result.allSatisfied ? u"所有要求已满足"_s : u"部分要求未满足"_s);
    return result;
}

} // namespace Velmora
