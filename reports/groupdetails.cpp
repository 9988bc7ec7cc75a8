#include "groupdetails.h"

#include "classscores.h"
#include "persongroupmap.h"
#include "requirementrules.h"
#include "scoretexts.h"

using namespace Qt::StringLiterals;

namespace Velmora {

std::optional<QString> groupDetailsText(const ClassState &state, int row)
{
    const SeatingPlan &plan = state.currentGrouping;
    if (row < 0 || row >= plan.groupCount() || row >= state.enabledGroups().size())
        return std::nullopt;

    QString text = u"<b>组 %1 详情:</b><br>"_s.arg(row + 1);
    // The names go into rich text; a roster name is free text and must not be read as markup.
    for (int person : plan.membersAt(row))
        text += state.roster.nameOf(person).toHtmlEscaped() + u' ';

    if (state.balanceByScores) {
        const GroupScores group = groupScores(ClassScores(state), plan).at(row);
        const int unscored = plan.seatedCount(row) - group.scored;
        if (!group.hasMean()) {
            text += u"<br>平均分：本组学生都没有成绩"_s;
        } else {
            text += u"<br>平均分 %1 分：高分段 %2 人，中分段 %3 人，低分段 %4 人"_s.arg(meanText(group))
                        .arg(group.bands[ClassScores::High])
                        .arg(group.bands[ClassScores::Middle])
                        .arg(group.bands[ClassScores::Low]);
            if (unscored > 0)
                text += u"，没有成绩 %1 人"_s.arg(unscored);
        }
    }

    const PersonGroupMap map = buildPersonGroupMap(plan.members());
    for (const Constraint &constraint : state.mustTogether) {
        if (RequirementRules::mustTogetherBroken(constraint, map))
            text += u"<br><font color='red'>警告: 必须同组要求未满足</font>"_s;
    }
    for (const Constraint &constraint : state.mustSeparate) {
        if (RequirementRules::mustSeparateBroken(constraint, map))
            text += u"<br><font color='red'>警告: 不能同组要求未满足</font>"_s;
    }
    return text;
}

} // namespace Velmora
