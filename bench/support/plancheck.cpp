#include "plancheck.h"

#include "classscores.h"
#include "persongroupmap.h"
#include "requirementrules.h"

#include <QRegularExpression>
#include <QSet>

using namespace Qt::StringLiterals;

namespace Velmora {

QStringList planProblems(const ClassState &state, const SeatingPlan &plan)
{
    QStringList problems;
    const QList<int> enabled = state.enabledGroups();
    if (plan.groupCount() != enabled.size())
        problems.append(u"%1 groups for %2 enabled"_s.arg(plan.groupCount()).arg(enabled.size()));
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    QSet<PersonId> seated;
    for (int position = 0; position < plan.groupCount() && position < enabled.size(); ++position) {
        if (plan.numberAt(position) != enabled.at(position) + 1)
            problems.append(u"group %1 at position %2"_s.arg(plan.numberAt(position)).arg(position));
        if (plan.seatCount(position) != qMax(0, state.groupConfigs.at(enabled.at(position)).total))
            problems.append(
                u"group %1 has %2 seats"_s.arg(plan.numberAt(position)).arg(plan.seatCount(position)));
        for (PersonId p : plan.membersAt(position)) {
            if (p < 1 || p > people || seated.contains(p))
                problems.append(u"person %1 seated twice or unknown"_s.arg(p));
            seated.insert(p);
        }
    }
    const QMap<PersonId, SeatRef> fixed = acceptedFixedSeats(state);
    for (auto it = fixed.cbegin(); it != fixed.cend(); ++it) {
        if (seated.contains(it.key()) && plan.occupant(it.value()) != it.key())
            problems.append(u"fixed %1 not on %2-%3"_s.arg(state.roster.nameOf(it.key()))
                                .arg(it.value().group)
                                .arg(it.value().seat));
    }
    return problems;
}

namespace {

int tierOfReason(const QString &reason)
{
    if (reason == u"以满足要求"_s)
        return OrderedScore::BrokenRequirements;
    if (reason == u"使组长分布更合理"_s)
        return OrderedScore::LeaderProblems;
    if (reason == u"使外宿生分布更均匀"_s)
        return OrderedScore::BoarderSpread;
    if (reason == u"使男女人数更接近设置"_s)
        return OrderedScore::GenderShortfall;
    if (reason == u"使每组都有高、中、低分段学生"_s)
        return OrderedScore::ScoreBands;
    if (reason == u"使各组成绩更均衡"_s)
        return OrderedScore::ScoreGap;
    if (reason == u"避免与以前同组"_s)
        return OrderedScore::LastRoundPairs;
    return -1;
}

QString hundredths(qint64 value)
{
    return u"%1.%2"_s.arg(value / 100).arg(value % 100, 2, 10, QLatin1Char('0'));
}

// The balance line as the plan has it, worked out afresh: means by exact sums, gaps by band.
QString balanceLine(const ClassState &state, const SeatingPlan &plan)
{
    const ClassScores scores(state);
    qint64 top = -1;
    qint64 bottom = -1;
    QString gaps;
    bool judged = false;
    for (int position = 0; position < plan.groupCount(); ++position) {
        qint64 sum = 0;
        int n = 0;
        int bands[3] = {0, 0, 0};
        for (PersonId p : plan.membersAt(position)) {
            if (scores.scoreOf(p) < 0)
                continue;
            sum += scores.scoreOf(p);
            ++n;
            ++bands[scores.bandOf(p)];
        }
        if (n > 0) {
            const qint64 mean = (2 * sum + n) / (2 * n);
            top = top < 0 ? mean : qMax(top, mean);
            bottom = bottom < 0 ? mean : qMin(bottom, mean);
        }
        if (plan.seatCount(position) < 3)
            continue;
        judged = true;
        const QStringList names{u"高"_s, u"中"_s, u"低"_s};
        for (int b = 0; b < 3; ++b) {
            if (bands[b] == 0)
                gaps += u"，组%1 缺少%2分段学生"_s.arg(plan.numberAt(position)).arg(names.at(b));
        }
    }
    return u"成绩均衡：各组平均分 %1–%2 分，相差 %3 分"_s.arg(hundredths(bottom), hundredths(top),
                                                              hundredths(top - bottom)) +
           (gaps.isEmpty() && judged ? u"，每组都有高、中、低分段学生"_s : gaps);
}

} // namespace

QStringList logProblems(const ClassState &state, const SeatingPlan &plan, const QStringList &log,
                        const ScoreTerms &terms)
{
    static const QRegularExpression exchange(u"^调整: (\\S+) 与 (\\S+) 交换，(\\S+)$"_s);
    static const QRegularExpression move(u"^调整: (\\S+) 移到组(\\d+)$"_s);
    static const QRegularExpression restored(u"^调整: (\\S+) 回到固定位置 组(\\d+)座位(\\d+)$"_s);
    static const QRegularExpression leaderCheck(
        u"^(?:✓ 组长分配验证通过: 组(\\d+) 有1个组长|⚠ 组长分配警告: 组(\\d+) 没有组长|✗ 组长分配失败: 组(\\d+) 有(\\d+)个组长)$"_s);
    static const QRegularExpression leaderCost(u"^组(\\d+) (?:没有组长|有(\\d+)个组长)：为满足要求 .+$"_s);
    static const QRegularExpression boarderCost(u"^组(\\d+) 有(\\d+)个外宿生：为满足要求 .+$"_s);
    static const QRegularExpression genderCost(u"^组(\\d+) (男|女)生比目标少(\\d+)人：为满足要求 .+$"_s);
    static const QRegularExpression unmet(u"^(?:无法|未能)满足的要求: .+$"_s);
    static const QRegularExpression folded(u"^另有 (\\d+) 条要求未满足，未逐条列出$"_s);
    static const QRegularExpression history(u"^已参考 \\d+ 次历史分组：.+$"_s);
    static const QRegularExpression balance(
        u"^成绩均衡：各组平均分 (\\d+\\.\\d\\d)–(\\d+\\.\\d\\d) 分，相差 (\\d+\\.\\d\\d) 分(.*)$"_s);
    static const QRegularExpression unscored(u"^(\\d+) 名学生没有成绩，不参与均衡$"_s);

    QStringList problems;
    qsizetype at = -1;
    for (qsizetype i = 0; i < log.size(); ++i) {
        if (log.at(i).startsWith(u"已比较 "_s))
            at = i;
    }
    if (at < 0)
        return plan.isEmpty() ? problems : QStringList{u"no comparison line"_s};

    const Grouping members = plan.members();
    const PersonTraits traits = personTraits(state);
    const OrderedScore shown = scoreOf(terms, GroupingView(members, traits));
    const auto positionOfNumber = [&](const QString &number) { return plan.positionOf(number.toInt()); };
    const auto person = [&](const QString &name) { return state.roster.nameToId.value(name, 0); };
    const auto count = [&](int position, GroupingView::Trait trait) {
        int n = 0;
        for (PersonId p : plan.membersAt(position))
            n += (traits.kinds[std::size_t(p)] & trait) != 0;
        return n;
    };
    qsizetype unmetLines = 0;
    qsizetype unmetFolded = 0;
    for (qsizetype i = at + 1; i < log.size(); ++i) {
        const QString &line = log.at(i);
        const auto bad = [&](const QString &why) { problems.append(why + u": "_s + line); };
        QRegularExpressionMatch m;
        if ((m = exchange.match(line)).hasMatch()) {
            const PersonId a = person(m.captured(1));
            const PersonId b = person(m.captured(2));
            const int ga = plan.positionOf(plan.seatOf(a).group);
            const int gb = plan.positionOf(plan.seatOf(b).group);
            if (a == 0 || b == 0 || ga < 0 || gb < 0 || ga == gb) {
                bad(u"not two seated persons of two groups"_s);
                continue;
            }
            Grouping undone = members;
            undone[ga].replace(undone[ga].indexOf(a), b);
            undone[gb].replace(undone[gb].indexOf(b), a);
            const int tier = scoreOf(terms, GroupingView(undone, traits)).firstWorseTier(shown);
            const int named = tierOfReason(m.captured(3));
            // The history's three tiers share one reason.
            const bool agrees =
                tier == named || (named == OrderedScore::LastRoundPairs && tier > named) ||
                (named == OrderedScore::BrokenRequirements && tier == OrderedScore::FixedAway);
            if (!agrees)
                bad(u"undoing it worsens tier %1 first"_s.arg(tier));
        } else if ((m = restored.match(line)).hasMatch()) {
            if (plan.occupant({m.captured(2).toInt(), m.captured(3).toInt()}) != person(m.captured(1)))
                bad(u"not on that seat"_s);
        } else if ((m = move.match(line)).hasMatch()) {
            if (plan.seatOf(person(m.captured(1))).group != m.captured(2).toInt())
                bad(u"not in that group"_s);
        } else if ((m = leaderCheck.match(line)).hasMatch()) {
            const QString number = m.captured(1) + m.captured(2) + m.captured(3);
            const int expected = !m.captured(1).isEmpty()   ? 1
                                 : !m.captured(2).isEmpty() ? 0
                                                            : m.captured(4).toInt();
            const int position = positionOfNumber(number);
            if (position < 0 || count(position, GroupingView::Leader) != expected)
                bad(u"leaders differ"_s);
        } else if ((m = leaderCost.match(line)).hasMatch()) {
            const int position = positionOfNumber(m.captured(1));
            if (position < 0 || count(position, GroupingView::Leader) != m.captured(2).toInt())
                bad(u"leaders differ"_s);
        } else if ((m = boarderCost.match(line)).hasMatch()) {
            const int position = positionOfNumber(m.captured(1));
            if (position < 0 || count(position, GroupingView::Boarder) != m.captured(2).toInt())
                bad(u"boarders differ"_s);
        } else if ((m = genderCost.match(line)).hasMatch()) {
            const int position = positionOfNumber(m.captured(1));
            if (position < 0) {
                bad(u"no such group"_s);
                continue;
            }
            const GroupConfig &config = state.groupConfigs.at(plan.numberAt(position) - 1);
            const int boys = count(position, GroupingView::Boy);
            const qint64 missing = m.captured(2) == u"男"_s
                                       ? qint64(config.males) - boys
                                       : qint64(config.females) - (plan.seatedCount(position) - boys);
            if (missing != m.captured(3).toLongLong())
                bad(u"shortfall differs"_s);
        } else if ((m = balance.match(line)).hasMatch()) {
            const QString expected = balanceLine(state, plan);
            if (line != expected)
                bad(u"the plan reads "_s + expected);
        } else if ((m = unscored.match(line)).hasMatch()) {
            if (m.captured(1).toInt() != ClassScores(state).unscoredCount())
                bad(u"pupils without a score differ"_s);
        } else if (unmet.match(line).hasMatch()) {
            ++unmetLines;
        } else if ((m = folded.match(line)).hasMatch()) {
            unmetFolded += m.captured(1).toLongLong();
        } else if (!history.match(line).hasMatch() && line != u"已停止：采用目前找到的最好分组"_s) {
            bad(u"unknown line"_s);
        }
    }
    const qsizetype breaches =
        RequirementRules::findBreaches(state.mustTogether, state.mustSeparate, buildPersonGroupMap(members))
            .size();
    if (unmetLines + unmetFolded != breaches)
        problems.append(
            u"%1 unmet requirements named, %2 in the plan"_s.arg(unmetLines + unmetFolded).arg(breaches));
    return problems;
}

} // namespace Velmora
