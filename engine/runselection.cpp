#include "runselection.h"

#include "groupingscore.h"
#include "groupingsearch.h"
#include "requirementfeasibility.h"
#include "requirementrules.h"

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

// Lines beyond these are counted, not written, so that hundreds of requirements cannot bury the
// log.
constexpr int MaxRequirementLines = 20;
// Kept requirements tried as the reason for a leader, boarder or gender problem, and the work
// allowed for each try.
constexpr int MaxCostCandidates = 4;
// Runs besides the chosen one that the search also starts from.
constexpr int ExtraStarts = 2;
constexpr long CostSearchEvaluations = 4000;

using Breach = RequirementRules::Breach;

QString memberNames(const Constraint &constraint, const Roster &roster)
{
    QStringList names;
    for (PersonId p : constraint)
        names.append(roster.nameOf(p));
    return names.join(u' ');
}

QList<Breach> findingsOf(const ClassState &state, const Grouping &grouping)
{
    return RequirementRules::findBreaches(state.mustTogether, state.mustSeparate,
                                          buildPersonGroupMap(grouping));
}

// A requirement by kind and index.
struct RequirementRef
{
    bool separate;
    int index;
    bool operator==(const RequirementRef &other) const
    {
        return separate == other.separate && index == other.index;
    }
};

const Constraint &membersOf(const ClassState &state, const RequirementRef &ref)
{
    return ref.separate ? state.mustSeparate.at(ref.index) : state.mustTogether.at(ref.index);
}

QList<RequirementRef> requirementsOf(const Breach &breach)
{
    if (breach.kind == Breach::Kind::MustSeparateJoined)
        return {{true, breach.first}};
    if (breach.kind == Breach::Kind::MustTogetherShared)
        return {{false, breach.first}, {false, breach.second}};
    return {{false, breach.first}};
}

class Finisher
{
public:
    Finisher(const ClassState &state, const ScoreTerms &terms, const SeedSource &seeds)
        : state(state), terms(terms), seeds(seeds)
    {}

    // Searches from the chosen run, then writes what changed, the validation of the result, the
    // costs of the requirements and the requirements left broken.
    // `others` are further starting points; the log still tells the change from `start`.
    QStringList finish(const Grouping &start, const QList<Grouping> &others, Grouping &result);

private:
    bool tryLayout(const std::vector<int> &layout);
    void proveOrImprove();
    QStringList changeLines(const Grouping &start) const;
    QStringList validationLines() const;
    QStringList costLines();
    QStringList requirementLines();
    QString conflictText(const Breach &breach, RequirementSolver::Allowance allowance) const;

    const ClassState &state;
    const ScoreTerms &terms;
    const SeedSource &seeds;
    std::unique_ptr<RequirementSolver> solver;
    std::vector<char> immovable;
    Grouping best;
    OrderedScore bestScore;
};

bool Finisher::tryLayout(const std::vector<int> &layout)
{
    GroupingSearch search(state, terms, seeds());
    const Grouping candidate = search.improveTowards(best, layout);
    if (!(search.score() < bestScore))
        return false;
    best = candidate;
    bestScore = search.score();
    return true;
}

// The exact check either proves that the remaining findings cannot be avoided, or hands the
// search a layout of the requirement members that avoids one more of them.
void Finisher::proveOrImprove()
{
    QList<Breach> findings = findingsOf(state, best);
    if (findings.isEmpty())
        return;
    std::vector<int> layout;
    if (solver->check(solver->none(), &layout) == RequirementSolver::Answer::Possible && tryLayout(layout))
        findings = findingsOf(state, best);
    for (int round = 0; round < 4 && !findings.isEmpty(); ++round) {
        bool improved = false;
        for (qsizetype i = 0; i < findings.size() && i < MaxRequirementLines && !improved; ++i) {
            QList<Breach> others = findings;
            others.removeAt(i);
            if (solver->check(solver->allowing(others), &layout) == RequirementSolver::Answer::Possible)
                improved = tryLayout(layout);
        }
        if (!improved)
            return;
        findings = findingsOf(state, best);
    }
}

QStringList Finisher::finish(const Grouping &start, const QList<Grouping> &others, Grouping &result)
{
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    best = start;
    // Different runs leave different requirements broken where not all can be kept, which
    // decides what the lower tiers can still reach; the search starts from a few of them.
    QList<Grouping> starts{start};
    starts += others;
    for (qsizetype i = 0; i < starts.size(); ++i) {
        GroupingSearch search(state, terms, seeds(), GroupingSearch::DefaultEvaluations / starts.size());
        const Grouping found = search.improve(starts.at(i));
        if (i == 0 || search.score() < bestScore) {
            best = found;
            bestScore = search.score();
        }
        immovable.assign(std::size_t(people) + 1, 0);
        for (int p = 1; p <= people; ++p)
            immovable[std::size_t(p)] = !search.isMovable(p);
        if (reachesBounds(bestScore, lowerBounds(terms)))
            break;
    }
    solver = std::make_unique<RequirementSolver>(state, start, immovable);
    proveOrImprove();
    result = best;

    QStringList lines = changeLines(start);
    if (!lines.isEmpty())
        lines += validationLines();
    lines += costLines();
    lines += requirementLines();
    return lines;
}

// The net change from the run to the result: exchanges where two persons traded groups, a move
// for everyone else who changed group.
QStringList Finisher::changeLines(const Grouping &start) const
{
    const PersonGroupMap before = buildPersonGroupMap(start);
    const PersonGroupMap after = buildPersonGroupMap(best);
    QList<PersonId> moved;
    for (PersonId p = 1; p <= state.roster.maleCount() + state.roster.femaleCount(); ++p) {
        if (after.value(p, -1) != before.value(p, -1))
            moved.append(p);
    }
    QStringList lines;
    QSet<PersonId> done;
    for (PersonId p : moved) {
        if (done.contains(p))
            continue;
        done.insert(p);
        const int from = before.value(p, -1);
        const int to = after.value(p, -1);
        PersonId partner = 0;
        for (PersonId q : moved) {
            if (!done.contains(q) && before.value(q, -1) == to && after.value(q, -1) == from) {
                partner = q;
                break;
            }
        }
        if (partner != 0) {
            done.insert(partner);
            lines.append(u"调整: %1 与 %2 交换，以满足要求"_s.arg(state.roster.nameOf(p),
                                                                  state.roster.nameOf(partner)));
        } else {
            lines.append(u"调整: %1 移到组%2"_s.arg(state.roster.nameOf(p)).arg(to + 1));
        }
    }
    return lines;
}

QStringList Finisher::validationLines() const
{
    QStringList lines;
    for (int position = 0; position < best.size(); ++position) {
        int leaders = 0;
        for (PersonId p : best.at(position))
            leaders += state.roster.isLeader(p);
        if (leaders == 1)
            lines.append(u"✓ 组长分配验证通过: 组%1 有1个组长"_s.arg(position + 1));
        else if (leaders == 0)
            lines.append(u"⚠ 组长分配警告: 组%1 没有组长"_s.arg(position + 1));
        else
            lines.append(u"✗ 组长分配失败: 组%1 有%2个组长"_s.arg(position + 1).arg(leaders));
    }
    return lines;
}

QString problemLine(int tier, int position, const GroupingView &view, const ClassState &state,
                    const QString &why)
{
    const int group = position + 1;
    if (tier == 2) {
        const int leaders = view.count(position, GroupingView::Leader);
        return leaders == 0 ? u"组%1 没有组长：为满足要求 %2"_s.arg(group).arg(why)
                            : u"组%1 有%2个组长：为满足要求 %3"_s.arg(group).arg(leaders).arg(why);
    }
    if (tier == 3)
        return u"组%1 有%2个外宿生：为满足要求 %3"_s.arg(group)
            .arg(view.count(position, GroupingView::Boarder))
            .arg(why);
    const GroupConfig &config = state.groupConfigs.at(state.enabledGroups().at(position));
    const int boys = view.count(position, GroupingView::Boy);
    const int girls = view.sizeOf(position) - boys;
    if (qint64(config.males) > boys)
        return u"组%1 男生比目标少%2人：为满足要求 %3"_s.arg(group).arg(qint64(config.males) - boys).arg(why);
    return u"组%1 女生比目标少%2人：为满足要求 %3"_s.arg(group).arg(qint64(config.females) - girls).arg(why);
}

// When keeping a requirement costs a leader, a boarder's balance or a gender target: a kept
// requirement counts as the reason when a short search without it does better on that tier.
QStringList Finisher::costLines()
{
    QStringList lines;
    const OrderedScore bounds = lowerBounds(terms);
    const GroupingView view(best, personTraits(state));
    QList<RequirementRef> broken;
    for (const Breach &breach : findingsOf(state, best))
        broken += requirementsOf(breach);
    const ScoreTerms extra(terms.begin() + BuiltInTermCount, terms.end());

    for (int tier = 2; tier < BuiltInTermCount; ++tier) {
        if (bestScore[std::size_t(tier)] <= bounds[std::size_t(tier)])
            continue;
        int most = 0;
        for (int position = 0; position < view.groupCount(); ++position)
            most = qMax(most, view.count(position, GroupingView::Boarder));
        QList<int> problems;
        for (int position = 0; position < view.groupCount(); ++position) {
            const GroupConfig &config = state.groupConfigs.at(state.enabledGroups().at(position));
            const int boys = view.count(position, GroupingView::Boy);
            const bool problem = tier == 2   ? view.count(position, GroupingView::Leader) != 1
                                 : tier == 3 ? view.count(position, GroupingView::Boarder) == most
                                             : qint64(config.males) > boys ||
                                                   qint64(config.females) > view.sizeOf(position) - boys;
            if (problem)
                problems.append(position);
        }
        QList<RequirementRef> candidates;
        for (bool separate : {false, true}) {
            const QList<Constraint> &list = separate ? state.mustSeparate : state.mustTogether;
            for (int index = 0; index < list.size() && candidates.size() < MaxCostCandidates; ++index) {
                const RequirementRef ref{separate, index};
                if (broken.contains(ref))
                    continue;
                bool touches = false;
                for (PersonId p : list.at(index))
                    touches = touches || problems.contains(view.positionOf(p)) ||
                              (tier == 2 && !separate && state.roster.isLeader(p));
                if (touches)
                    candidates.append(ref);
            }
        }
        QStringList why;
        for (const RequirementRef &ref : candidates) {
            ClassState reduced = state;
            (ref.separate ? reduced.mustSeparate : reduced.mustTogether).removeAt(ref.index);
            ScoreTerms reducedTerms = builtInTerms(reduced);
            reducedTerms.insert(reducedTerms.end(), extra.begin(), extra.end());
            const OrderedScore before = scoreOf(reducedTerms, GroupingView(best, personTraits(reduced)));
            GroupingSearch search(reduced, reducedTerms, seeds(), CostSearchEvaluations);
            search.improve(best);
            const OrderedScore &after = search.score();
            bool costs = after[std::size_t(tier)] < before[std::size_t(tier)];
            for (int above = 0; above < tier; ++above)
                costs = costs && after[std::size_t(above)] <= before[std::size_t(above)];
            if (costs)
                why.append(memberNames(membersOf(state, ref), state.roster));
        }
        if (why.isEmpty())
            continue;
        for (int position : problems)
            lines.append(problemLine(tier, position, view, state, why.join(u'、')));
    }
    return lines;
}

QString Finisher::conflictText(const Breach &breach, RequirementSolver::Allowance allowance) const
{
    using Answer = RequirementSolver::Answer;
    const QList<RequirementRef> own = requirementsOf(breach);
    QList<RequirementRef> all;
    for (int index = 0; index < state.mustTogether.size(); ++index)
        all.append({false, index});
    for (int index = 0; index < state.mustSeparate.size(); ++index)
        all.append({true, index});

    // The requirements linked to this one through shared persons usually hold the whole conflict.
    QSet<PersonId> persons;
    for (const RequirementRef &ref : own) {
        for (PersonId p : membersOf(state, ref))
            persons.insert(p);
    }
    QList<RequirementRef> linked;
    for (bool grew = true; grew;) {
        grew = false;
        for (const RequirementRef &ref : all) {
            if (own.contains(ref) || linked.contains(ref))
                continue;
            const Constraint &members = membersOf(state, ref);
            if (std::any_of(members.begin(), members.end(),
                            [&](PersonId p) { return persons.contains(p); })) {
                linked.append(ref);
                for (PersonId p : members)
                    persons.insert(p);
                grew = true;
            }
        }
    }
    RequirementSolver::Allowance trial = allowance;
    for (const RequirementRef &ref : all) {
        if (!own.contains(ref) && !linked.contains(ref))
            RequirementSolver::release(trial, ref.separate, ref.index);
    }
    QList<RequirementRef> suspects;
    if (solver->check(trial) == Answer::Impossible) {
        allowance = trial;
        suspects = linked;
    } else {
        for (const RequirementRef &ref : all) {
            if (!own.contains(ref))
                suspects.append(ref);
        }
    }
    if (suspects.size() > 60)
        return u"（与其他要求冲突）"_s;
    // Whatever can be given up while the conflict stays is not part of it.
    QStringList conflicts;
    for (const RequirementRef &ref : suspects) {
        RequirementSolver::Allowance without = allowance;
        RequirementSolver::release(without, ref.separate, ref.index);
        if (solver->check(without) == Answer::Impossible)
            allowance = without;
        else
            conflicts.append(memberNames(membersOf(state, ref), state.roster));
    }
    if (!conflicts.isEmpty())
        return u"（与要求 %1 冲突）"_s.arg(conflicts.join(u'、'));
    for (const RequirementRef &ref : own) {
        for (PersonId p : membersOf(state, ref)) {
            if (p >= 1 && std::size_t(p) < immovable.size() && immovable[std::size_t(p)])
                return u"（与固定位置冲突）"_s;
        }
    }
    return u"（座位不足）"_s;
}

// A finding no layout of the members can avoid, keeping what the result keeps, is proven
// impossible and says what it conflicts with; any other is a finding the search missed.
QStringList Finisher::requirementLines()
{
    QStringList lines;
    const QList<Breach> findings = findingsOf(state, best);
    for (qsizetype i = 0; i < findings.size() && i < MaxRequirementLines; ++i) {
        QList<Breach> others = findings;
        others.removeAt(i);
        const RequirementSolver::Allowance allowance = solver->allowing(others);
        const QString names = RequirementRules::breachNames(findings.at(i), state).trimmed();
        if (solver->check(allowance) == RequirementSolver::Answer::Impossible)
            lines.append(u"无法满足的要求: %1%2"_s.arg(names, conflictText(findings.at(i), allowance)));
        else
            lines.append(u"未能满足的要求: %1"_s.arg(names));
    }
    if (findings.size() > MaxRequirementLines)
        lines.append(u"另有 %1 条要求未满足，未逐条列出"_s.arg(findings.size() - MaxRequirementLines));
    return lines;
}

} // namespace

SelectedGrouping generateBestGrouping(const ClassState &state, const SeedSource &seeds,
                                      const GroupingEngine::WarningSink &warning, int maxRuns)
{
    return generateBestGrouping(state, seeds, warning, ScoreTerms(), maxRuns);
}

SelectedGrouping generateBestGrouping(const ClassState &state, const SeedSource &seeds,
                                      const GroupingEngine::WarningSink &warning,
                                      const ScoreTerms &extraTerms, int maxRuns)
{
    const SeedSource source = seeds ? seeds : randomDeviceSeeds();
    SelectedGrouping result;

    // Without a group the pipeline stops with its warning box, which must show once, not per run.
    if (state.enabledGroups().isEmpty()) {
        GroupingEngine engine(
            state, [&](const QString &line) { result.log.append(line); }, warning, seedSequence(source()));
        result.grouping = engine.run();
        result.runs = 1;
        return result;
    }

    ScoreTerms terms = builtInTerms(state);
    terms.insert(terms.end(), extraTerms.cbegin(), extraTerms.cend());
    const OrderedScore bounds = lowerBounds(terms);
    const std::vector<unsigned char> traits = personTraits(state);
    OrderedScore bestScore;
    QStringList runLog;
    QList<QPair<OrderedScore, Grouping>> runnersUp; // the best runs after the chosen one
    for (int run = 0; run < qMax(1, maxRuns); ++run) {
        runLog.clear();
        GroupingEngine engine(
            state, [&runLog](const QString &line) { runLog.append(line); }, warning, seedSequence(source()));
        Grouping grouping = engine.run();
        const OrderedScore score = scoreOf(terms, GroupingView(grouping, traits));
        ++result.runs;
        if (run == 0 || score < bestScore) {
            if (run > 0)
                runnersUp.append({bestScore, result.grouping});
            bestScore = score;
            result.grouping = std::move(grouping);
            result.log.swap(runLog);
        } else {
            runnersUp.append({score, std::move(grouping)});
        }
        std::stable_sort(runnersUp.begin(), runnersUp.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        if (runnersUp.size() > ExtraStarts)
            runnersUp.resize(ExtraStarts);
        if (reachesBounds(bestScore, bounds))
            break;
    }
    result.log.append(u"已比较 %1 次随机分组，选用要求满足最多的一次"_s.arg(result.runs));
    Finisher finisher(state, terms, source);
    Grouping finished;
    QList<Grouping> others;
    for (const auto &runnerUp : runnersUp)
        others.append(runnerUp.second);
    result.log += finisher.finish(result.grouping, others, finished);
    result.grouping = std::move(finished);
    return result;
}

} // namespace Velmora
