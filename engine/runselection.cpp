#include "runselection.h"

#include "classscores.h"
#include "groupingengine.h"
#include "groupingsearch.h"
#include "historyscoreterms.h"
#include "requirementfeasibility.h"
#include "requirementrules.h"

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

// Findings beyond these are counted, not proven one by one, so that hundreds of requirements
// cannot bury the log or the time.
constexpr int MaxRequirementLines = 20;
// Kept requirements tried as the reason for a leader, boarder or gender problem, and the work
// allowed for each try.
constexpr int MaxCostCandidates = 3;
// Layouts tried that break another requirement instead, and the work for each.
constexpr int MaxOtherBreaks = 4;
constexpr long OtherBreakEvaluations = 8000;
// Runs besides the chosen one that the search also starts from.
constexpr int ExtraStarts = 2;
constexpr long CostSearchEvaluations = 3000;
// The work of each try to seat a must-together requirement elsewhere for the gender targets.
constexpr long RelocationEvaluations = 3000;
// The same for a band a group lacks, at the end, when every try also has to keep the gap: more
// work per try finds no more of them and takes the time a generate may take.
constexpr long BandRelocationEvaluations = 1500;
// The same for a share of a broken requirement, when the balancing is tried again: there are
// more of them, and half the work finds as many bands.
constexpr long ShareRelocationEvaluations = 750;
// The work of the last search, which balances the scores. The gap is then narrowed by exchanges
// judged on the means alone (GroupingSearch::narrowGap), which do more for it in the time: twice
// this search and fewer of those exchanges leave fewer of the reference classes within half a
// point of the optimum (64 of 100 against 67).
constexpr long BalanceEvaluations = GroupingSearch::DefaultEvaluations / 6;
// The balancing is tried again from its start, at most this often, while a group lacks a band
// the bound says none need lack; the narrowing gives up rounds for each try, so that the
// slowest reference classes still finish in the time a generate may take.
constexpr int BandRetries = 2;
constexpr long RoundsPerBandRetry = 5;
// Suspects of a conflict beyond this are not tried one by one.
constexpr int MaxConflictSuspects = 60;

using Breach = RequirementRules::Breach;
using Reason = GenerateReport::Reason;

QList<Breach> findingsOf(const ClassState &state, const SeatingPlan &plan)
{
    return RequirementRules::findBreaches(state.mustTogether, state.mustSeparate,
                                          buildPersonGroupMap(plan.members()));
}

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

bool sharePerson(const Constraint &a, const Constraint &b)
{
    return std::any_of(a.begin(), a.end(), [&b](PersonId p) { return b.contains(p); });
}

Reason reasonOfTier(int tier)
{
    switch (tier) {
    case OrderedScore::LeaderProblems:
        return Reason::Leader;
    case OrderedScore::BoarderSpread:
        return Reason::Boarder;
    case OrderedScore::GenderShortfall:
        return Reason::Gender;
    case OrderedScore::ScoreBands:
        return Reason::ScoreBands;
    case OrderedScore::ScoreGap:
        return Reason::ScoreGap;
    case OrderedScore::FixedAway:
    case OrderedScore::BrokenRequirements:
        // Nobody on an accepted fixed seat moves, so of these two only the requirements can gain.
        return Reason::Requirement;
    default:
        return Reason::History;
    }
}

// The class and its terms twice: as the teacher set them, and without balancing by scores. The
// score tiers rank below every other built-in one, so the runs, the search and the proofs work
// without them, exactly as they do with the box unticked; a last search then balances the scores
// from their plan, which can only keep or better what they reached.
struct ScoredClass
{
    const ClassState &state;
    const ScoreTerms &terms;
    const ClassState &plain;
    const ScoreTerms &plainTerms;
    bool balancing() const { return &state != &plain; }
};

class Finisher
{
public:
    Finisher(const ScoredClass &scored, const SeedSource &seeds, const std::atomic_bool *stop)
        : state(scored.state), terms(scored.terms), plain(scored.plain), plainTerms(scored.plainTerms),
          seeds(seeds), stop(stop), traits(personTraits(state)), fixedSeats(acceptedFixedSeats(state))
    {}

    // Searches from the chosen run (and from `others`), undoes what gains nothing, and fills the
    // report's plan, changes, leader counts, costs and unmet requirements.
    void finish(const SeatingPlan &start, const QList<SeatingPlan> &others, GenerateReport &report);

private:
    bool stopped() const { return stop && stop->load(std::memory_order_relaxed); }
    OrderedScore scoreOf(const Grouping &members) const;
    bool tryLayout(const std::vector<int> &layout, long evaluations = GroupingSearch::DefaultEvaluations,
                   bool balancing = false);
    void proveOrImprove();
    void tryOtherBreaks();
    void relocateRequirements(int tier, bool balancing, bool byShares = false);
    void balanceScores();
    QList<GenerateReport::Change> pruneChanges(const SeatingPlan &start);
    QList<GenerateReport::Cost> costs();
    QList<GenerateReport::Unmet> unmet(int *notListed);
    GenerateReport::Unmet prove(const Breach &breach, RequirementSolver::Allowance allowance) const;

    const ClassState &state;
    const ScoreTerms &terms;
    const ClassState &plain;
    const ScoreTerms &plainTerms;
    const SeedSource &seeds;
    const std::atomic_bool *stop;
    const PersonTraits traits;
    const QMap<PersonId, SeatRef> fixedSeats;
    std::unique_ptr<RequirementSolver> solver;
    std::vector<char> immovable;
    SeatingPlan best;
    OrderedScore bestScore;
};

OrderedScore Finisher::scoreOf(const Grouping &members) const
{
    return Velmora::scoreOf(terms, GroupingView(members, traits));
}

bool Finisher::tryLayout(const std::vector<int> &layout, long evaluations, bool balancing)
{
    if (stopped())
        return false;
    GroupingSearch search(balancing ? state : plain, balancing ? terms : plainTerms, seeds(), evaluations,
                          stop);
    const SeatingPlan candidate = search.improveTowards(best, layout);
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
        const RequirementSolver::Allowance all = solver->allowing(findings);
        for (qsizetype i = 0; i < findings.size() && i < MaxRequirementLines && !improved; ++i) {
            RequirementSolver::Allowance others = all;
            RequirementSolver::forbid(others, findings.at(i));
            if (solver->check(others, &layout) == RequirementSolver::Answer::Possible)
                improved = tryLayout(layout);
        }
        if (!improved)
            return;
        findings = findingsOf(state, best);
    }
}

// Where some requirement must stay broken, which one decides whether every group can keep a
// leader. Layouts that keep a broken one and give up a kept one instead are tried, each with a
// short search.
void Finisher::tryOtherBreaks()
{
    if (bestScore[OrderedScore::LeaderProblems] <= lowerBounds(terms)[OrderedScore::LeaderProblems])
        return;
    const QList<Breach> findings = findingsOf(state, best);
    QList<RequirementRef> broken;
    for (const Breach &breach : findings)
        broken += requirementsOf(breach);
    int tries = 0;
    const RequirementSolver::Allowance all = solver->allowing(findings);
    for (qsizetype i = 0; i < findings.size() && i < MaxRequirementLines; ++i) {
        RequirementSolver::Allowance others = all;
        RequirementSolver::forbid(others, findings.at(i));
        for (bool separate : {false, true}) {
            const qsizetype count = separate ? state.mustSeparate.size() : state.mustTogether.size();
            for (int index = 0; index < count; ++index) {
                if (broken.contains(RequirementRef{separate, index}))
                    continue;
                if (tries >= MaxOtherBreaks || stopped())
                    return;
                // Released in place and put back: a copy per requirement would cost more than the check.
                const std::size_t at = std::size_t(index);
                const char split = separate ? 0 : others.split[at];
                const char freely = separate ? 0 : others.sharesFreely[at];
                const char joined = separate ? others.joined[at] : 0;
                RequirementSolver::release(others, separate, index);
                std::vector<int> layout;
                const RequirementSolver::Answer answer = solver->check(others, &layout);
                if (separate) {
                    others.joined[at] = joined;
                } else {
                    others.split[at] = split;
                    others.sharesFreely[at] = freely;
                }
                if (answer != RequirementSolver::Answer::Possible)
                    continue;
                ++tries;
                tryLayout(layout, OtherBreakEvaluations);
            }
        }
    }
}

void Finisher::finish(const SeatingPlan &start, const QList<SeatingPlan> &others, GenerateReport &report)
{
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    best = start;
    // Different runs leave different requirements broken where not all can be kept, which
    // decides what the lower tiers can still reach; the search starts from a few of them.
    QList<SeatingPlan> starts{start};
    starts += others;
    for (qsizetype i = 0; i < starts.size(); ++i) {
        GroupingSearch search(plain, plainTerms, seeds(), GroupingSearch::DefaultEvaluations / starts.size(),
                              stop);
        const SeatingPlan found = search.improve(starts.at(i));
        if (i == 0 || search.score() < bestScore) {
            best = found;
            bestScore = search.score();
        }
        immovable.assign(std::size_t(people) + 1, 0);
        for (int p = 1; p <= people; ++p)
            immovable[std::size_t(p)] = !search.isMovable(p);
        if (reachesBounds(bestScore, lowerBounds(plainTerms)) || stopped())
            break;
    }
    solver = std::make_unique<RequirementSolver>(state, start.members(), immovable);
    solver->setStop(stop);
    if (!stopped()) {
        proveOrImprove();
        tryOtherBreaks();
        relocateRequirements(OrderedScore::GenderShortfall, false);
    }
    if (&terms != &plainTerms) {
        bestScore = scoreOf(best.members());
        if (!stopped())
            balanceScores();
    }
    // A plan from another start than the chosen run says nothing about the run; it is read as
    // the run's plan with its persons regrouped.
    report.changes = pruneChanges(start);
    report.plan = best;
    report.score = bestScore;
    for (int position = 0; position < best.groupCount(); ++position) {
        int leaders = 0;
        for (PersonId p : best.membersAt(position))
            leaders += state.roster.isLeader(p);
        report.leaders.append({best.numberAt(position), leaders});
    }
    if (!stopped())
        report.costs = costs();
    report.unmet = unmet(&report.unmetNotListed);
}

// A must-together requirement can hold a group to boys or girls its target does not want, or keep
// girls or boys another group lacks (or fill a small group with one score band), and moving it
// elsewhere takes several exchanges that each cost a leader or a boarder's balance on the way.
// Each requirement, joined with those it shares a pupil with, is tried whole in every other
// group, with a short search to mend what the move upset. With `byShares` (the balancing tried
// again), one left broken across groups is tried share by share instead: moving it whole asks for
// the layout that breaking it was the way out of, while one group's share moved elsewhere can
// free the seat a band needs. A share is only moved out of or into a group that lacks a band
// (elsewhere it mends none, and those tries took a sixth of the work of the slowest class that
// makes them), and a whole requirement moved so gets twice the work.
void Finisher::relocateRequirements(int tier, bool balancing, bool byShares)
{
    const qint64 bound = lowerBounds(balancing ? terms : plainTerms)[std::size_t(tier)];
    if (bestScore[std::size_t(tier)] <= bound)
        return;
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    QList<std::pair<QList<PersonId>, bool>> tries; // members, a share of a broken requirement
    for (const QList<PersonId> &block : RequirementRules::togetherBlocks(state.mustTogether, people)) {
        QMap<int, QList<PersonId>> shares; // by position
        for (PersonId p : block)
            shares[best.positionOf(best.seatOf(p).group)].append(p);
        if (!byShares || shares.size() == 1) {
            tries.append({block, false});
            continue;
        }
        for (const QList<PersonId> &share : std::as_const(shares))
            tries.append({share, true});
    }
    const std::optional<ClassScores> scores = byShares ? std::optional<ClassScores>(state) : std::nullopt;
    for (const auto &[members, share] : std::as_const(tries)) {
        const int from = best.positionOf(best.seatOf(members.first()).group);
        std::vector<char> lacking(std::size_t(best.groupCount()), 0);
        if (byShares) {
            const QList<GroupScores> groups = groupScores(*scores, best);
            for (qsizetype position = 0; position < groups.size(); ++position) {
                const GroupScores &g = groups.at(position);
                lacking[std::size_t(position)] =
                    g.judgedByBands() && std::count(g.bands.cbegin(), g.bands.cend(), 0) > 0;
            }
        }
        for (int to = 0; to < best.groupCount(); ++to) {
            if (to == from || stopped())
                continue;
            const bool forBand = from >= 0 && (lacking[std::size_t(from)] || lacking[std::size_t(to)]);
            if (share && from >= 0 && !forBand)
                continue;
            long work = balancing ? BandRelocationEvaluations : RelocationEvaluations;
            if (share)
                work = ShareRelocationEvaluations;
            else if (forBand)
                work = 2 * BandRelocationEvaluations;
            std::vector<int> layout(std::size_t(people) + 1, -1);
            for (PersonId p : members)
                layout[std::size_t(p)] = to;
            tryLayout(layout, work, balancing);
            if (bestScore[std::size_t(tier)] <= bound)
                return;
        }
    }
}

void Finisher::balanceScores()
{
    const SeatingPlan unbalanced = best;
    const OrderedScore unbalancedScore = bestScore;
    const qint64 bandsBound = lowerBounds(terms)[std::size_t(OrderedScore::ScoreBands)];
    std::pair<SeatingPlan, OrderedScore> kept;
    int retries = 0;
    for (;;) {
        GroupingSearch search(state, terms, seeds(), BalanceEvaluations, stop);
        const SeatingPlan found = search.improve(best);
        if (search.score() < bestScore) {
            best = found;
            bestScore = search.score();
        }
        relocateRequirements(OrderedScore::ScoreBands, true, retries > 0);
        if (retries > 0 && kept.second < bestScore) {
            best = kept.first;
            bestScore = kept.second;
        }
        if (bestScore.tier(OrderedScore::ScoreBands) <= bandsBound || retries == BandRetries || stopped())
            break;
        // Which bands a group ends up lacking turns on where the balancing search first takes the
        // plan, and the relocation cannot undo that. Another search from the same start, with
        // other draws and the broken requirements moved share by share, reaches the bands'
        // optimum in all seven reference classes that missed it.
        kept = {best, bestScore};
        best = unbalanced;
        bestScore = unbalancedScore;
        ++retries;
    }
    // The narrowing counts its own work (DefaultGapSteps), not evaluations of the ordered score.
    // A balancing tried again took the time of RoundsPerBandRetry of its rounds.
    GroupingSearch narrowing(state, terms, seeds(), 0, stop);
    const SeatingPlan narrowed = narrowing.narrowGap(
        best, GroupingSearch::DefaultGapSteps, GroupingSearch::GapRounds - RoundsPerBandRetry * retries);
    if (narrowing.score() < bestScore) {
        best = narrowed;
        bestScore = narrowing.score();
    }
}

// Undoes every net change from the run that gains nothing on the ordered score, then names for
// each change left the first tier that gets worse when it alone is undone: that is what it was
// made for. Two persons who traded groups are one change; anyone else who changed group is a move.
QList<GenerateReport::Change> Finisher::pruneChanges(const SeatingPlan &start)
{
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    const PersonGroupMap before = buildPersonGroupMap(start.members());
    std::vector<int> at(std::size_t(people) + 1, -1);
    for (int position = 0; position < best.groupCount(); ++position) {
        for (PersonId p : best.membersAt(position)) {
            if (p >= 1 && p <= people)
                at[std::size_t(p)] = position;
        }
    }
    const auto was = [&before](PersonId p) { return before.value(p, -1); };

    struct Net
    {
        PersonId person;
        PersonId partner;
        bool undone = false;
    };
    QList<Net> changes;
    QSet<PersonId> done;
    for (PersonId p = 1; p <= people; ++p) {
        if (at[std::size_t(p)] == was(p) || done.contains(p))
            continue;
        done.insert(p);
        PersonId partner = 0;
        for (PersonId q = p + 1; q <= people && partner == 0; ++q) {
            if (!done.contains(q) && was(q) == at[std::size_t(p)] && at[std::size_t(q)] == was(p))
                partner = q;
        }
        if (partner != 0)
            done.insert(partner);
        changes.append({p, partner});
    }

    const auto members = [&] {
        Grouping grouping(best.groupCount());
        for (PersonId p = 1; p <= people; ++p) {
            if (at[std::size_t(p)] >= 0)
                grouping[at[std::size_t(p)]].append(p);
        }
        return grouping;
    };
    // Seats a group can give to a person coming back: its empty seats that are nobody's fixed seat.
    const auto roomIn = [&](int position, const Grouping &grouping) {
        if (position < 0)
            return true;
        int reserved = 0;
        for (int index = 0; index < start.seatCount(position); ++index) {
            if (start.seatsAt(position).at(index) == 0 &&
                std::find(fixedSeats.cbegin(), fixedSeats.cend(), start.refAt(position, index)) !=
                    fixedSeats.cend())
                ++reserved;
        }
        return grouping.at(position).size() < start.seatCount(position) - reserved;
    };
    // Each person takes part in one change only, so a change is undone by sending its persons
    // back, whatever happened to the others.
    const auto undo = [&](const Net &change) {
        at[std::size_t(change.person)] = was(change.person);
        if (change.partner != 0)
            at[std::size_t(change.partner)] = was(change.partner);
    };
    const auto positionsOf = [&](const Net &change) {
        return qMakePair(at[std::size_t(change.person)],
                         change.partner != 0 ? at[std::size_t(change.partner)] : -1);
    };
    const auto restore = [&](const Net &change, const QPair<int, int> &positions) {
        at[std::size_t(change.person)] = positions.first;
        if (change.partner != 0)
            at[std::size_t(change.partner)] = positions.second;
    };

    OrderedScore current = scoreOf(members());
    for (bool undidAny = true; undidAny && !stopped();) {
        undidAny = false;
        for (Net &change : changes) {
            if (change.undone)
                continue;
            if (change.partner == 0 && !roomIn(was(change.person), members()))
                continue;
            const QPair<int, int> positions = positionsOf(change);
            undo(change);
            const OrderedScore undone = scoreOf(members());
            if (undone <= current) {
                change.undone = true;
                current = undone;
                undidAny = true;
            } else {
                restore(change, positions);
            }
        }
    }
    if (current != bestScore ||
        std::any_of(changes.begin(), changes.end(), [](const Net &c) { return c.undone; })) {
        best = reseat(start, members(), fixedSeats);
        bestScore = current;
    }

    QList<GenerateReport::Change> result;
    for (const Net &change : std::as_const(changes)) {
        if (change.undone)
            continue;
        GenerateReport::Change entry;
        entry.person = change.person;
        entry.partner = change.partner;
        const int position = at[std::size_t(change.person)];
        entry.toGroup = position >= 0 ? best.numberAt(position) : 0;
        const QPair<int, int> positions = positionsOf(change);
        undo(change);
        const int tier = scoreOf(members()).firstWorseTier(current);
        restore(change, positions);
        entry.reason = reasonOfTier(tier < 0 ? OrderedScore::BrokenRequirements : tier);
        result.append(entry);
    }
    return result;
}

// When keeping a requirement costs a leader, a boarder's balance or a gender target: a kept
// requirement counts as the reason when a short search without it does better on that tier.
QList<GenerateReport::Cost> Finisher::costs()
{
    using Tier = GenerateReport::Cost::Tier;
    QList<GenerateReport::Cost> result;
    const OrderedScore bounds = lowerBounds(terms);
    const Grouping members = best.members();
    const GroupingView view(members, traits);
    QList<RequirementRef> broken;
    for (const Breach &breach : findingsOf(state, best))
        broken += requirementsOf(breach);
    const ScoreTerms extra(terms.begin() + BuiltInTermCount, terms.end());
    const QList<int> enabled = state.enabledGroups();

    for (int tier = OrderedScore::LeaderProblems; tier <= OrderedScore::GenderShortfall; ++tier) {
        if (bestScore[std::size_t(tier)] <= bounds[std::size_t(tier)] || stopped())
            continue;
        int most = 0;
        for (int position = 0; position < view.groupCount(); ++position)
            most = qMax(most, view.count(position, GroupingView::Boarder));
        QList<int> problems;
        for (int position = 0; position < view.groupCount(); ++position) {
            const GroupConfig &config = state.groupConfigs.at(enabled.at(position));
            const int boys = view.count(position, GroupingView::Boy);
            const bool problem =
                tier == OrderedScore::LeaderProblems ? view.count(position, GroupingView::Leader) != 1
                : tier == OrderedScore::BoarderSpread
                    ? view.count(position, GroupingView::Boarder) == most
                    : qint64(config.males) > boys || qint64(config.females) > view.sizeOf(position) - boys;
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
                // Only a requirement holding a leader can cost one, only one holding a boarder can
                // unbalance them; a gender target can be missed for anyone sitting by it.
                bool touches = false;
                for (PersonId p : list.at(index)) {
                    touches = touches ||
                              (tier == OrderedScore::LeaderProblems  ? state.roster.isLeader(p)
                               : tier == OrderedScore::BoarderSpread ? state.roster.isBoarder(p)
                                                                     : problems.contains(view.positionOf(p)));
                }
                if (touches)
                    candidates.append(ref);
            }
        }
        QList<RequirementRef> because;
        for (const RequirementRef &ref : candidates) {
            ClassState reduced = plain;
            (ref.separate ? reduced.mustSeparate : reduced.mustTogether).removeAt(ref.index);
            ScoreTerms reducedTerms = builtInTerms(reduced);
            reducedTerms.insert(reducedTerms.end(), extra.begin(), extra.end());
            const OrderedScore before =
                Velmora::scoreOf(reducedTerms, GroupingView(members, personTraits(reduced)));
            GroupingSearch search(reduced, reducedTerms, seeds(), CostSearchEvaluations, stop);
            search.improve(best);
            const OrderedScore &after = search.score();
            bool costs = after[std::size_t(tier)] < before[std::size_t(tier)];
            for (int above = 0; above < tier; ++above)
                costs = costs && after[std::size_t(above)] <= before[std::size_t(above)];
            if (costs)
                because.append(ref);
        }
        if (because.isEmpty())
            continue;
        for (int position : std::as_const(problems)) {
            GenerateReport::Cost cost;
            cost.group = best.numberAt(position);
            cost.because = because;
            const int boys = view.count(position, GroupingView::Boy);
            const GroupConfig &config = state.groupConfigs.at(enabled.at(position));
            if (tier == OrderedScore::LeaderProblems) {
                cost.tier = Tier::Leader;
                cost.count = view.count(position, GroupingView::Leader);
            } else if (tier == OrderedScore::BoarderSpread) {
                cost.tier = Tier::Boarder;
                cost.count = view.count(position, GroupingView::Boarder);
            } else {
                cost.tier = Tier::Gender;
                cost.boysMissing = qint64(config.males) > boys;
                cost.count = int(cost.boysMissing ? qint64(config.males) - boys
                                                  : qint64(config.females) - (view.sizeOf(position) - boys));
            }
            result.append(cost);
        }
    }
    return result;
}

GenerateReport::Unmet Finisher::prove(const Breach &breach, RequirementSolver::Allowance allowance) const
{
    using Answer = RequirementSolver::Answer;
    using Proof = GenerateReport::Proof;
    GenerateReport::Unmet result{breach, Proof::Unknown, {}};
    const QList<RequirementRef> own = requirementsOf(breach);
    // Two must-together requirements that share a pupil can only both be met in one group, which
    // is the finding itself: each is the other's reason.
    if (breach.kind == Breach::Kind::MustTogetherShared &&
        sharePerson(state.mustTogether.at(breach.first), state.mustTogether.at(breach.second))) {
        result.proof = Proof::OtherRequirements;
        result.others = {own.at(1)};
        return result;
    }
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
        for (const RequirementRef &ref : std::as_const(all)) {
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
    for (const RequirementRef &ref : std::as_const(all)) {
        if (!own.contains(ref) && !linked.contains(ref))
            RequirementSolver::release(trial, ref.separate, ref.index);
    }
    QList<RequirementRef> suspects;
    const Answer linkedOnly = solver->check(trial);
    if (linkedOnly == Answer::Impossible) {
        allowance = trial;
        suspects = linked;
    } else {
        for (const RequirementRef &ref : std::as_const(all)) {
            if (!own.contains(ref))
                suspects.append(ref);
        }
    }
    if (suspects.size() > MaxConflictSuspects) {
        result.proof = Proof::ManyRequirements;
        return result;
    }
    // Whatever can be given up while the conflict stays is not part of it; a suspect whose
    // answer is unknown is not known to be part of it either, so it is never named.
    bool unknown = linkedOnly == Answer::Unknown;
    for (const RequirementRef &ref : std::as_const(suspects)) {
        RequirementSolver::Allowance without = allowance;
        RequirementSolver::release(without, ref.separate, ref.index);
        const Answer answer = solver->check(without);
        if (answer == Answer::Impossible)
            allowance = without;
        else if (answer == Answer::Possible)
            result.others.append(ref);
        else
            unknown = true;
    }
    if (!result.others.isEmpty()) {
        result.proof = Proof::OtherRequirements;
        return result;
    }
    if (unknown)
        return result;
    for (const RequirementRef &ref : own) {
        for (PersonId p : membersOf(state, ref)) {
            if (fixedSeats.contains(p) && p >= 1 && std::size_t(p) < immovable.size() &&
                immovable[std::size_t(p)]) {
                result.proof = Proof::FixedSeat;
                return result;
            }
        }
    }
    result.proof = Proof::TooFewSeats;
    return result;
}

// A finding no layout of the members can avoid, keeping what the result keeps, is proven
// impossible and says what it conflicts with; any other is a finding the search missed.
QList<GenerateReport::Unmet> Finisher::unmet(int *notListed)
{
    QList<GenerateReport::Unmet> result;
    const QList<Breach> findings = findingsOf(state, best);
    const RequirementSolver::Allowance all = solver->allowing(findings);
    for (qsizetype i = 0; i < findings.size() && i < MaxRequirementLines; ++i) {
        RequirementSolver::Allowance allowance = all;
        RequirementSolver::forbid(allowance, findings.at(i));
        if (!stopped() && solver->check(allowance) == RequirementSolver::Answer::Impossible)
            result.append(prove(findings.at(i), allowance));
        else
            result.append({findings.at(i), GenerateReport::Proof::NotProven, {}});
    }
    *notListed = int(qMax<qsizetype>(0, findings.size() - MaxRequirementLines));
    return result;
}

// The engine's last stage may carry a person onto a seat another person was fixed to first, as its
// rules say; the plan shown puts every accepted fixed person back on their seat.
QList<GenerateReport::Restored> restoreFixedSeats(SeatingPlan &plan,
                                                  const QMap<PersonId, SeatRef> &fixedSeats)
{
    QList<GenerateReport::Restored> restored;
    for (auto it = fixedSeats.cbegin(); it != fixedSeats.cend(); ++it) {
        const SeatRef own = plan.seatOf(it.key());
        if (!own.isValid() || own == it.value() || !plan.holds(it.value()))
            continue;
        plan.setOccupant(own, plan.occupant(it.value()));
        plan.setOccupant(it.value(), it.key());
        restored.append({it.key(), it.value()});
    }
    return restored;
}

} // namespace

GenerateReport generatePlan(const ClassState &state, const SeedSource &seeds, const GenerateOptions &options)
{
    const SeedSource source = seeds ? seeds : randomDeviceSeeds();
    GenerateReport report;
    const auto warn = [&report](const QString &text) { report.warnings.append(text); };

    // Without a group the engine stops with its warning box, which must show once, not per run.
    if (state.enabledGroups().isEmpty()) {
        GroupingEngine engine(
            state, [&](const QString &line) { report.narration.append(line); }, warn, seedSequence(source()));
        report.plan = engine.run();
        return report;
    }

    std::shared_ptr<const HistoryTerms> history;
    if (options.history) {
        history = std::make_shared<const HistoryTerms>(state, *options.history);
        if (!history->isActive())
            history.reset();
    }
    const ScoreTerms historyTerms = historyScoreTerms(history);
    const auto termsOf = [&](const ClassState &of) {
        ScoreTerms terms = builtInTerms(of);
        terms.insert(terms.end(), historyTerms.cbegin(), historyTerms.cend());
        terms.insert(terms.end(), options.extraTerms.cbegin(), options.extraTerms.cend());
        return terms;
    };
    const ScoreTerms terms = termsOf(state);
    const bool balancing = ClassScores(state).balancing();
    ClassState unbalanced = state;
    unbalanced.balanceByScores = false;
    const ScoreTerms unbalancedTerms = balancing ? termsOf(unbalanced) : ScoreTerms();
    const ScoredClass scored{state, terms, balancing ? unbalanced : state,
                             balancing ? unbalancedTerms : terms};
    // The runs are compared as without balancing (see ScoredClass).
    const OrderedScore bounds = lowerBounds(scored.plainTerms);
    const PersonTraits traits = personTraits(scored.plain);
    const auto stopped = [&options] { return options.stop && options.stop->load(std::memory_order_relaxed); };

    OrderedScore bestScore;
    QStringList runLog;
    QList<QPair<OrderedScore, SeatingPlan>> runnersUp; // the best runs after the chosen one
    for (int run = 0; run < qMax(1, options.maxRuns); ++run) {
        // The first run always completes: "停止" keeps a plan, never none.
        if (run > 0 && stopped())
            break;
        runLog.clear();
        GroupingEngine engine(
            state, [&runLog](const QString &line) { runLog.append(line); }, warn, seedSequence(source()));
        SeatingPlan plan = engine.run();
        const OrderedScore score = scoreOf(scored.plainTerms, GroupingView(plan.members(), traits));
        ++report.runs;
        if (run == 0 || score < bestScore) {
            if (run > 0)
                runnersUp.append({bestScore, report.plan});
            bestScore = score;
            report.plan = std::move(plan);
            report.narration.swap(runLog);
        } else {
            runnersUp.append({score, std::move(plan)});
        }
        std::stable_sort(runnersUp.begin(), runnersUp.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        if (runnersUp.size() > ExtraStarts)
            runnersUp.resize(ExtraStarts);
        if (reachesBounds(bestScore, bounds))
            break;
    }

    Finisher finisher(scored, source, options.stop);
    const QMap<PersonId, SeatRef> fixedSeats = acceptedFixedSeats(state);
    QList<SeatingPlan> others;
    for (const auto &runnerUp : std::as_const(runnersUp)) {
        others.append(runnerUp.second);
        restoreFixedSeats(others.last(), fixedSeats);
    }
    SeatingPlan chosen = report.plan;
    report.restored = restoreFixedSeats(chosen, fixedSeats);
    finisher.finish(chosen, others, report);
    if (history) {
        const Grouping members = report.plan.members();
        report.history =
            GenerateReport::HistoryNote{history->rounds(), report.score.tier(OrderedScore::LastRoundPairs),
                                        history->recentRepeats(members)};
    }
    if (state.balanceByScores) {
        const ClassScores scores(state);
        report.scores = GenerateReport::ScoreNote{groupScores(scores, report.plan), scores.unscoredCount()};
    }
    report.stopped = stopped();
    return report;
}

} // namespace Velmora
