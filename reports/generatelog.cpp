#include "generatelog.h"

#include "scoretexts.h"

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

using Report = GenerateReport;

QString memberNames(const Constraint &constraint, const Roster &roster)
{
    QStringList names;
    for (PersonId p : constraint)
        names.append(roster.nameOf(p));
    return names.join(u' ');
}

QString requirementNames(const QList<RequirementRef> &refs, const ClassState &state)
{
    QStringList names;
    for (const RequirementRef &ref : refs)
        names.append(memberNames(ref.separate ? state.mustSeparate.value(ref.index)
                                              : state.mustTogether.value(ref.index),
                                 state.roster));
    return names.join(u'、');
}

// Why an exchange was made: the first tier it improved.
QString changeReason(Report::Reason reason)
{
    switch (reason) {
    case Report::Reason::Requirement:
        return u"以满足要求"_s;
    case Report::Reason::Leader:
        return u"使组长分布更合理"_s;
    case Report::Reason::Boarder:
        return u"使外宿生分布更均匀"_s;
    case Report::Reason::Gender:
        return u"使男女人数更接近设置"_s;
    case Report::Reason::ScoreBands:
        return u"使每组都有高、中、低分段学生"_s;
    case Report::Reason::ScoreGap:
        return u"使各组成绩更均衡"_s;
    case Report::Reason::History:
        return u"避免与以前同组"_s;
    }
    return QString();
}

QString changeLine(const Report::Change &change, const Roster &roster)
{
    const QString a = roster.nameOf(change.person);
    if (change.partner == 0)
        return u"调整: %1 移到组%2"_s.arg(a).arg(change.toGroup);
    return u"调整: %1 与 %2 交换，%3"_s.arg(a, roster.nameOf(change.partner), changeReason(change.reason));
}

QString leaderLine(const Report::LeaderCount &count)
{
    if (count.leaders == 1)
        return u"✓ 组长分配验证通过: 组%1 有1个组长"_s.arg(count.group);
    if (count.leaders == 0)
        return u"⚠ 组长分配警告: 组%1 没有组长"_s.arg(count.group);
    return u"✗ 组长分配失败: 组%1 有%2个组长"_s.arg(count.group).arg(count.leaders);
}

QString costLine(const Report::Cost &cost, const ClassState &state)
{
    const QString why = requirementNames(cost.because, state);
    switch (cost.tier) {
    case Report::Cost::Tier::Leader:
        return cost.count == 0 ? u"组%1 没有组长：为满足要求 %2"_s.arg(cost.group).arg(why)
                               : u"组%1 有%2个组长：为满足要求 %3"_s.arg(cost.group).arg(cost.count).arg(why);
    case Report::Cost::Tier::Boarder:
        return u"组%1 有%2个外宿生：为满足要求 %3"_s.arg(cost.group).arg(cost.count).arg(why);
    case Report::Cost::Tier::Gender:
        return (cost.boysMissing ? u"组%1 男生比目标少%2人：为满足要求 %3"_s
                                 : u"组%1 女生比目标少%2人：为满足要求 %3"_s)
            .arg(cost.group)
            .arg(cost.count)
            .arg(why);
    }
    return QString();
}

// The means shown are rounded to hundredths, and so is their difference, so that the line adds up as
// the teacher reads it.
QStringList scoreLines(const Report::ScoreNote &note)
{
    QStringList lines;
    const auto [highest, lowest] = extremeMeans(note.groups);
    if (highest >= 0) {
        const GroupScores &high = note.groups.at(highest);
        const GroupScores &low = note.groups.at(lowest);
        const qint64 top = roundedMean(high.sum, high.scored);
        const qint64 bottom = roundedMean(low.sum, low.scored);
        QString line = u"成绩均衡：各组平均分 %1–%2 分，相差 %3 分"_s.arg(pointsText(bottom), pointsText(top),
                                                                          pointsText(top - bottom));
        bool judged = false;
        QString gaps;
        for (const GroupScores &group : note.groups) {
            if (!group.judgedByBands())
                continue;
            judged = true;
            for (int band = 0; band < ClassScores::BandCount; ++band) {
                if (group.bands[std::size_t(band)] == 0)
                    gaps += u"，组%1 缺少%2学生"_s.arg(group.group).arg(bandName(band));
            }
        }
        if (judged)
            line += gaps.isEmpty() ? u"，每组都有高、中、低分段学生"_s : gaps;
        lines.append(line);
    }
    if (note.unscored > 0)
        lines.append(u"%1 名学生没有成绩，不参与均衡"_s.arg(note.unscored));
    return lines;
}

QString unmetLine(const Report::Unmet &unmet, const ClassState &state)
{
    using Kind = RequirementRules::Breach::Kind;
    const RequirementRules::Breach &breach = unmet.breach;
    // Two requirements sharing a pupil name each other; the finding is written as the first one.
    const bool eachOther = breach.kind == Kind::MustTogetherShared &&
                           unmet.proof == Report::Proof::OtherRequirements && unmet.others.size() == 1 &&
                           unmet.others.first() == RequirementRef{false, breach.second};
    const QString names = eachOther ? memberNames(state.mustTogether.value(breach.first), state.roster)
                                    : RequirementRules::breachNames(breach, state).trimmed();
    switch (unmet.proof) {
    case Report::Proof::NotProven:
        return u"未能满足的要求: %1"_s.arg(names);
    case Report::Proof::OtherRequirements:
        return u"无法满足的要求: %1（与要求 %2 冲突）"_s.arg(names, requirementNames(unmet.others, state));
    case Report::Proof::ManyRequirements:
        return u"无法满足的要求: %1（与其他要求冲突）"_s.arg(names);
    case Report::Proof::FixedSeat:
        return u"无法满足的要求: %1（与固定位置冲突）"_s.arg(names);
    case Report::Proof::TooFewSeats:
        return u"无法满足的要求: %1（座位不足）"_s.arg(names);
    case Report::Proof::Unknown:
        return u"无法满足的要求: %1"_s.arg(names);
    }
    return QString();
}

} // namespace

QStringList generateLogLines(const GenerateReport &report, const ClassState &state)
{
    QStringList lines = report.narration;
    if (report.runs == 0)
        return lines;
    lines.append(u"已比较 %1 次随机分组，选用要求满足最多的一次"_s.arg(report.runs));
    if (report.scores)
        lines += scoreLines(*report.scores);
    if (report.stopped)
        lines.append(u"已停止：采用目前找到的最好分组"_s);
    if (report.history)
        lines.append(
            u"已参考 %1 次历史分组：与上次同组 %2 对，近 %3 次中重复 %4 对"_s.arg(report.history->rounds)
                .arg(report.history->lastRoundPairs)
                .arg(report.history->rounds)
                .arg(report.history->recentRepeats));
    for (const Report::Restored &back : report.restored)
        lines.append(u"调整: %1 回到固定位置 组%2座位%3"_s.arg(state.roster.nameOf(back.person))
                         .arg(back.seat.group)
                         .arg(back.seat.seat));
    for (const Report::Change &change : report.changes)
        lines.append(changeLine(change, state.roster));
    // The engine checked the leaders of the run; after a change the plan shown needs its own check.
    if (!report.changes.isEmpty() || !report.restored.isEmpty()) {
        for (const Report::LeaderCount &count : report.leaders)
            lines.append(leaderLine(count));
    }
    for (const Report::Cost &cost : report.costs)
        lines.append(costLine(cost, state));
    for (const Report::Unmet &unmet : report.unmet)
        lines.append(unmetLine(unmet, state));
    if (report.unmetNotListed > 0)
        lines.append(u"另有 %1 条要求未满足，未逐条列出"_s.arg(report.unmetNotListed));
    return lines;
}

} // namespace Velmora
