#include "requirementfeasibility.h"

#include <QSet>

#include <optional>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

QString namesOf(const Constraint &constraint, const Roster &roster)
{
    QString names;
    for (int person : constraint)
        names += roster.nameOf(person) + u' ';
    return names;
}

// The enabled group number a person is held in by a fixed seat the pipeline accepts, else 0.
int fixedGroupOf(const ClassState &state, PersonId person)
{
    const auto it = state.fixedPositions.constFind(person);
    if (it == state.fixedPositions.cend())
        return 0;
    const int index = it->first - 1;
    if (index < 0 || index >= state.groupConfigs.size())
        return 0;
    const GroupConfig &config = state.groupConfigs.at(index);
    return config.enabled && it->second >= 1 && it->second <= config.total ? it->first : 0;
}

// Two distinct members with a fixed group each, in the same group (`same`) or in different ones.
std::optional<QPair<int, int>> fixedPair(const ClassState &state, const Constraint &constraint, bool same)
{
    for (int i = 0; i < constraint.size(); ++i) {
        const int groupI = fixedGroupOf(state, constraint.at(i));
        if (groupI == 0)
            continue;
        for (int j = i + 1; j < constraint.size(); ++j) {
            const int groupJ = fixedGroupOf(state, constraint.at(j));
            if (groupJ != 0 && constraint.at(i) != constraint.at(j) && (groupI == groupJ) == same)
                return QPair<int, int>(constraint.at(i), constraint.at(j));
        }
    }
    return std::nullopt;
}

} // namespace

QStringList findInfeasibleRequirements(const ClassState &state)
{
    return checkFeasibility(state).lines;
}

InfeasibleRequirements checkFeasibility(const ClassState &state)
{
    InfeasibleRequirements result;
    QStringList &lines = result.lines;
    const Roster &roster = state.roster;
    const QList<int> enabled = state.enabledGroups();
    if (enabled.isEmpty())
        return result;

    // Each must-together requirement needs a group of its own.
    result.tooManyTogether = state.mustTogether.size() > enabled.size();
    if (result.tooManyTogether)
        lines.append(
            u"必须同组要求无法全部满足（%1 个要求，只有 %2 个启用的分组）"_s.arg(state.mustTogether.size())
                .arg(enabled.size()));

    int mostSeats = 0;
    for (int index : enabled)
        mostSeats = qMax(mostSeats, state.groupConfigs.at(index).total);
    int leaders = 0;
    for (int p = 1; p <= roster.maleCount() + roster.femaleCount(); ++p)
        leaders += roster.isLeader(p);

    QSet<int> claimed; // members of earlier must-together requirements
    for (int index = 0; index < state.mustTogether.size(); ++index) {
        const Constraint &constraint = state.mustTogether.at(index);
        const qsizetype before = lines.size();
        const QSet<int> members(constraint.cbegin(), constraint.cend());
        const QString names = namesOf(constraint, roster);
        if (members.size() > mostSeats)
            lines.append(u"必须同组要求无法满足（%1 人，分组最多 %2 个座位）: %3"_s.arg(members.size())
                             .arg(mostSeats)
                             .arg(names));
        if (const auto pair = fixedPair(state, constraint, false))
            lines.append(u"必须同组要求无法满足（%1 与 %2 固定在不同的组）: %3"_s.arg(
                roster.nameOf(pair->first), roster.nameOf(pair->second), names));
        // Two requirements sharing a person must share a group, which the check reports too. The
        // entry order names the person, as the set's order would change from process to process.
        for (int person : constraint) {
            if (claimed.contains(person)) {
                lines.append(u"必须同组要求无法满足（%1 也在另一个必须同组要求中）: %2"_s.arg(
                    roster.nameOf(person), names));
                break;
            }
        }
        claimed.unite(members);
        // With every group owed a leader, the leaders of one requirement can share a group only
        // when the other groups still have one each.
        int memberLeaders = 0;
        for (int person : members)
            memberLeaders += roster.isLeader(person);
        if (memberLeaders >= 2 && leaders - memberLeaders < int(enabled.size()) - 1)
            lines.append(u"必须同组要求无法满足（%1 个组长同组会使其他组缺少组长）: %2"_s.arg(memberLeaders)
                             .arg(names));
        if (lines.size() > before)
            result.together.insert(index);
    }

    for (int index = 0; index < state.mustSeparate.size(); ++index) {
        const Constraint &constraint = state.mustSeparate.at(index);
        const qsizetype before = lines.size();
        const QString names = namesOf(constraint, roster);
        if (const auto pair = fixedPair(state, constraint, true))
            lines.append(u"不能同组要求无法满足（%1 与 %2 固定在同一组）: %3"_s.arg(
                roster.nameOf(pair->first), roster.nameOf(pair->second), names));
        for (const Constraint &together : state.mustTogether) {
            int shared = 0;
            for (int person : QSet<int>(constraint.cbegin(), constraint.cend()))
                shared += together.contains(person);
            if (shared >= 2) {
                lines.append(u"不能同组要求无法满足（与必须同组要求 %1矛盾）: %2"_s.arg(
                    namesOf(together, roster), names));
                break;
            }
        }
        if (lines.size() > before)
            result.separate.insert(index);
    }
    return result;
}

} // namespace Velmora
