#include "groupingsearch.h"

#include "classscores.h"
#include "requirementrules.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <numeric>

namespace Velmora {

GroupingSearch::GroupingSearch(const ClassState &state, ScoreTerms scoreTerms, std::uint32_t seed,
                               long maxEvaluations, const std::atomic_bool *stop)
    : state(state), terms(std::move(scoreTerms)), random(seed), persons(personTraits(state)),
      traits(persons.kinds), fixedSeats(acceptedFixedSeats(state)), budget(maxEvaluations), stop(stop)
{
    identityMatters = terms.size() > std::size_t(BuiltInTermCount) || !persons.scores.empty();
    bounds = lowerBounds(terms);
    movable.assign(traits.size(), 1);
    named.assign(traits.size(), 0);
    movable[0] = 0;
    // A fixed position the engine refused holds nobody; freezing its person would only keep a
    // requirement or a leader from being mended for nothing.
    for (auto it = fixedSeats.cbegin(); it != fixedSeats.cend(); ++it) {
        if (it.key() >= 1 && std::size_t(it.key()) < movable.size())
            movable[std::size_t(it.key())] = 0;
    }
    for (const auto *lists : {&state.mustTogether, &state.mustSeparate}) {
        for (const Constraint &constraint : *lists) {
            for (PersonId p : constraint) {
                if (p >= 1 && std::size_t(p) < named.size())
                    named[std::size_t(p)] = 1;
            }
        }
    }
    for (int index : state.enabledGroups()) {
        targets.push_back({state.groupConfigs.at(index).males, state.groupConfigs.at(index).females});
        if (!persons.scores.empty())
            judgedByBands.push_back(state.groupConfigs.at(index).total >= ClassScores::SeatsForBands);
    }
}

bool GroupingSearch::isMovable(PersonId p) const
{
    return p >= 1 && std::size_t(p) < movable.size() && movable[std::size_t(p)];
}

int GroupingSearch::freeSeats(int position) const
{
    return std::size_t(position) < capacity.size() ? capacity[std::size_t(position)] - view->sizeOf(position)
                                                   : 0;
}

void GroupingSearch::load(const Grouping &grouping)
{
    view = std::make_unique<GroupingView>(grouping, persons);
    currentScore = scoreOf(terms, *view);
}

SeatingPlan GroupingSearch::current() const
{
    Grouping members;
    for (int position = 0; position < view->groupCount(); ++position) {
        const std::vector<PersonId> &group = view->membersOf(position);
        members.append(QList<int>(group.begin(), group.end()));
    }
    return reseat(original, members, fixedSeats);
}

int GroupingSearch::compare(const std::vector<PersonMove> &moves)
{
    ++evaluations;
    for (std::size_t i = 0; i < terms.size(); ++i) {
        std::optional<qint64> change = terms[i]->delta(*view, moves);
        if (!change) {
            view->apply(moves);
            change = terms[i]->cost(*view) - currentScore[i];
            view->revert(moves);
        }
        if (*change != 0)
            return *change < 0 ? -1 : 1;
    }
    return 0;
}

void GroupingSearch::accept(const std::vector<PersonMove> &moves)
{
    view->apply(moves);
    currentScore = scoreOf(terms, *view);
    if (currentScore < bestScore) {
        bestScore = currentScore;
        best.clear();
        for (int position = 0; position < view->groupCount(); ++position)
            best.push_back(view->membersOf(position));
    }
}

bool GroupingSearch::interchangeable(PersonId a, PersonId b) const
{
    return !identityMatters && !named[std::size_t(a)] && !named[std::size_t(b)] &&
           traits[std::size_t(a)] == traits[std::size_t(b)];
}

// False for an anonymous person of a kind already in `tried`; two such persons are alike to every
// built-in term, so one of each kind per group stands for all of them.
bool GroupingSearch::firstOfKind(PersonId p, unsigned &tried) const
{
    if (identityMatters || named[std::size_t(p)])
        return true;
    const unsigned bit = 1u << traits[std::size_t(p)];
    if (tried & bit)
        return false;
    tried |= bit;
    return true;
}

// Moves of one person: to a free seat, or an exchange with anyone in another group. Without
// extra terms, two persons no requirement names and of one kind are alike to every term, so one
// of each kind per group stands for all of them.
bool GroupingSearch::tryMoves(PersonId p)
{
    if (!isMovable(p))
        return false;
    const int from = view->positionOf(p);
    const int groups = view->groupCount();
    const int offset = int(random() % std::uint32_t(qMax(1, groups)));
    std::vector<PersonMove> moves;
    // By value: a term without a delta is judged on the changed view, which reorders the lists.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    const auto tryAll = [&](const std::vector<PersonId> partners, int to) {
        unsigned tried = 0; // kinds of anonymous persons already tried there
        for (PersonId q : partners) {
            if (!isMovable(q) || interchangeable(p, q))
                continue;
            if (!firstOfKind(q, tried))
                continue;
            moves = {{p, from, to}, {q, to, from}};
            if (compare(moves) < 0) {
                accept(moves);
                return true;
            }
        }
        return false;
    };
    for (int k = 0; k < groups; ++k) {
        const int to = (offset + k) % groups;
        if (to == from)
            continue;
        if (freeSeats(to) > 0) {
            moves = {{p, from, to}};
            if (compare(moves) < 0) {
                accept(moves);
                return true;
            }
        }
        if (tryAll(view->membersOf(to), to))
            return true;
    }
    // With more persons than seats, who goes without a seat is a choice too.
    return from >= 0 && tryAll(view->unseatedPersons(), -1);
}

// A must-together requirement moved whole into one group, each member who is not there yet
// taking a free seat or the place of someone no requirement names, of the member's own kind
// where there is one.
bool GroupingSearch::tryBlocks()
{
    // Broken requirements first; a kept one may still move whole to mend a lower tier.
    const auto positionOf = [this](PersonId p) { return view->positionOf(p); };
    std::vector<int> broken;
    for (const RequirementRules::Breach &breach :
         RequirementRules::findBreaches(state.mustTogether, state.mustSeparate, positionOf)) {
        if (breach.kind == RequirementRules::Breach::Kind::MustTogetherSplit ||
            breach.kind == RequirementRules::Breach::Kind::MustTogetherShared)
            broken.push_back(breach.first);
        if (breach.kind == RequirementRules::Breach::Kind::MustTogetherShared)
            broken.push_back(breach.second);
    }
    std::sort(broken.begin(), broken.end());
    broken.erase(std::unique(broken.begin(), broken.end()), broken.end());
    std::shuffle(broken.begin(), broken.end(), random);
    std::vector<int> kept;
    for (int r = 0; r < state.mustTogether.size(); ++r) {
        if (!std::binary_search(broken.begin(), broken.end(), r))
            kept.push_back(r);
    }
    std::shuffle(kept.begin(), kept.end(), random);
    std::vector<int> candidates = broken;
    candidates.insert(candidates.end(), kept.begin(), kept.end());

    std::vector<PersonMove> moves;
    std::vector<PersonId> taken;
    for (int r : candidates) {
        if (exhausted())
            return false;
        const Constraint &members = state.mustTogether.at(r);
        for (int to = 0; to < view->groupCount(); ++to) {
            // Places are taken from persons of the member's own kind, which leaves every tally as
            // it was, or from anyone no requirement names, which can change them.
            for (bool sameKind : {true, false}) {
                moves.clear();
                taken.clear();
                int free = freeSeats(to);
                bool possible = true;
                for (PersonId m : members) {
                    const int from = view->positionOf(m);
                    if (from == to || std::any_of(moves.begin(), moves.end(),
                                                  [m](const PersonMove &move) { return move.person == m; }))
                        continue;
                    if (from < 0 || !isMovable(m)) {
                        possible = false;
                        break;
                    }
                    if (free > 0) {
                        --free;
                        moves.push_back({m, from, to});
                        continue;
                    }
                    PersonId victim = 0;
                    int victimRank = 4;
                    for (PersonId v : view->membersOf(to)) {
                        if (!isMovable(v) || members.contains(v) ||
                            std::find(taken.begin(), taken.end(), v) != taken.end())
                            continue;
                        const bool same = traits[std::size_t(v)] == traits[std::size_t(m)];
                        const int rank = (named[std::size_t(v)] ? 2 : 0) + (same == sameKind ? 0 : 1);
                        if (rank < victimRank) {
                            victimRank = rank;
                            victim = v;
                        }
                    }
                    if (victim == 0) {
                        possible = false;
                        break;
                    }
                    taken.push_back(victim);
                    moves.push_back({m, from, to});
                    moves.push_back({victim, to, from});
                }
                if (!possible || moves.empty())
                    break;
                if (compare(moves) < 0) {
                    accept(moves);
                    return true;
                }
            }
        }
    }
    return false;
}

// Two exchanges judged as one: the first may make things worse as long as a second one, which
// moves somebody out of one of the two groups it touched, more than makes up for it.
bool GroupingSearch::tryDoubleExchanges()
{
    const std::vector<PersonId> hot = hotPersons();
    std::vector<PersonMove> moves;
    // Copies, as a term judged on the changed view reorders the lists; kept from one person to
    // the next, since the search comes here hundreds of thousands of times.
    std::vector<PersonId> inB;
    std::vector<PersonId> there;
    std::vector<PersonId> inC;
    for (PersonId p : hot) {
        const int a = view->positionOf(p);
        if (a < 0 || !isMovable(p))
            continue;
        for (int b = 0; b < view->groupCount(); ++b) {
            if (b == a)
                continue;
            unsigned tried = 0;
            inB.assign(view->membersOf(b).begin(), view->membersOf(b).end());
            for (PersonId q : inB) {
                if (!isMovable(q) || interchangeable(p, q))
                    continue;
                if (!firstOfKind(q, tried))
                    continue;
                // The second exchange: someone of group a or b (after the first) with someone of
                // a third group, one of each kind per group.
                for (int side : {a, b}) {
                    there.clear();
                    for (PersonId x : view->membersOf(side)) {
                        if (x != p && x != q)
                            there.push_back(x);
                    }
                    there.push_back(side == a ? q : p);
                    unsigned triedX = 0;
                    for (PersonId x : there) {
                        if (!isMovable(x))
                            continue;
                        if (!firstOfKind(x, triedX))
                            continue;
                        const int xFrom = side;
                        for (int c = 0; c < view->groupCount(); ++c) {
                            if (c == a || c == b)
                                continue;
                            unsigned triedY = 0;
                            inC.assign(view->membersOf(c).begin(), view->membersOf(c).end());
                            for (PersonId y : inC) {
                                if (!isMovable(y) || interchangeable(x, y))
                                    continue;
                                if (!firstOfKind(y, triedY))
                                    continue;
                                if (exhausted())
                                    return false;
                                moves = {{p, a, b}, {q, b, a}, {x, xFrom, c}, {y, c, xFrom}};
                                if (compare(moves) < 0) {
                                    accept(moves);
                                    return true;
                                }
                            }
                        }
                    }
                }
            }
        }
    }
    return false;
}

// The positions of the highest and the lowest group mean; -1 without scores.
std::pair<int, int> GroupingSearch::extremeMeans() const
{
    int highest = -1;
    int lowest = -1;
    for (int position = 0; position < view->groupCount(); ++position) {
        const qint64 n = view->scoredCount(position);
        if (n == 0)
            continue;
        const qint64 sum = view->scoreSum(position);
        if (highest < 0 || meanBelow(view->scoreSum(highest), view->scoredCount(highest), sum, n))
            highest = position;
        if (lowest < 0 || meanBelow(sum, n, view->scoreSum(lowest), view->scoredCount(lowest)))
            lowest = position;
    }
    return {highest, lowest};
}

// The gap only moves with the groups of the highest and the lowest mean, and an exchange between
// them alone often has to trade a band or a kind the tiers above hold on to. Three persons of one
// kind passed round those two groups and a third keep every count of each group but the scores.
bool GroupingSearch::tryRotations()
{
    if (judgedByBands.empty())
        return false;
    const auto [high, low] = extremeMeans();
    if (high < 0 || low < 0 || high == low)
        return false;
    constexpr unsigned char Kind = GroupingView::Boy | GroupingView::Leader | GroupingView::Boarder;
    const std::vector<PersonId> inHigh = view->membersOf(high);
    const std::vector<PersonId> inLow = view->membersOf(low);
    for (PersonId p : inHigh) {
        if (!isMovable(p))
            continue;
        for (PersonId r : inLow) {
            if (!isMovable(r) || (traits[std::size_t(p)] & Kind) != (traits[std::size_t(r)] & Kind))
                continue;
            for (int c = 0; c < view->groupCount(); ++c) {
                if (c == high || c == low)
                    continue;
                const std::vector<PersonId> inC = view->membersOf(c);
                for (PersonId q : inC) {
                    if (!isMovable(q) || (traits[std::size_t(q)] & Kind) != (traits[std::size_t(p)] & Kind))
                        continue;
                    for (const std::vector<PersonMove> &moves :
                         {std::vector<PersonMove>{{p, high, c}, {q, c, low}, {r, low, high}},
                          std::vector<PersonMove>{{r, low, c}, {q, c, high}, {p, high, low}}}) {
                        if (exhausted())
                            return false;
                        if (compare(moves) < 0) {
                            accept(moves);
                            return true;
                        }
                    }
                }
            }
        }
    }
    return false;
}

// Only the highest and the lowest mean count, so an exchange between two groups in between never
// changes the score, yet means drawn together there leave the next exchange at the extremes more
// to work with. Such an exchange is taken when the score stays exactly as it is and the means
// spread less (their squared distances from the class mean fall), which cannot repeat.
bool GroupingSearch::trySmoothing()
{
    if (judgedByBands.empty())
        return false;
    const int groups = view->groupCount();
    qint64 allSum = 0;
    qint64 allCount = 0;
    for (int g = 0; g < groups; ++g) {
        allSum += view->scoreSum(g);
        allCount += view->scoredCount(g);
    }
    if (allCount == 0)
        return false;
    const double classMean = double(allSum) / double(allCount);
    const auto spread = [&](int g, qint64 sum) {
        const int n = view->scoredCount(g);
        if (n == 0)
            return 0.0;
        const double d = double(sum) / n - classMean;
        return d * d;
    };
    for (int a = 0; a < groups; ++a) {
        for (int b = a + 1; b < groups; ++b) {
            const std::vector<PersonId> inA = view->membersOf(a);
            const std::vector<PersonId> inB = view->membersOf(b);
            const double before = spread(a, view->scoreSum(a)) + spread(b, view->scoreSum(b));
            for (PersonId p : inA) {
                const int sp = view->scoreOf(p);
                if (!isMovable(p) || sp < 0)
                    continue;
                for (PersonId q : inB) {
                    const int sq = view->scoreOf(q);
                    if (!isMovable(q) || sq < 0 || sq == sp)
                        continue;
                    const double after =
                        spread(a, view->scoreSum(a) - sp + sq) + spread(b, view->scoreSum(b) - sq + sp);
                    if (after >= before - 1e-9)
                        continue;
                    if (exhausted())
                        return false;
                    const std::vector<PersonMove> moves{{p, a, b}, {q, b, a}};
                    if (compare(moves) <= 0) {
                        accept(moves);
                        return true;
                    }
                }
            }
        }
    }
    return false;
}

// Persons whose moving can mend something: members of broken requirements and everyone in a
// group with the wrong number of leaders, too many or too few boarders, or too few boys or girls.
std::vector<PersonId> GroupingSearch::hotPersons() const
{
    std::vector<char> hot(traits.size(), 0);
    const auto positionOf = [this](PersonId p) { return view->positionOf(p); };
    for (const RequirementRules::Breach &breach :
         RequirementRules::findBreaches(state.mustTogether, state.mustSeparate, positionOf)) {
        const bool separate = breach.kind == RequirementRules::Breach::Kind::MustSeparateJoined;
        for (int index : {breach.first, breach.second}) {
            if (index < 0)
                continue;
            for (PersonId p : (separate ? state.mustSeparate : state.mustTogether).at(index)) {
                if (p >= 1 && std::size_t(p) < hot.size())
                    hot[std::size_t(p)] = 1;
            }
        }
    }
    int most = 0;
    int fewest = 0;
    for (int position = 0; position < view->groupCount(); ++position) {
        const int boarders = view->count(position, GroupingView::Boarder);
        most = position == 0 ? boarders : qMax(most, boarders);
        fewest = position == 0 ? boarders : qMin(fewest, boarders);
    }
    for (int position = 0; position < view->groupCount(); ++position) {
        const int boarders = view->count(position, GroupingView::Boarder);
        const int boys = view->count(position, GroupingView::Boy);
        const auto [males, females] = std::size_t(position) < targets.size() ? targets[std::size_t(position)]
                                                                             : std::pair<int, int>(-1, -1);
        const bool problem = view->count(position, GroupingView::Leader) != 1 ||
                             (most - fewest >= 2 && (boarders == most || boarders == fewest)) ||
                             males > boys || females > view->sizeOf(position) - boys;
        if (problem) {
            for (PersonId p : view->membersOf(position))
                hot[std::size_t(p)] = 1;
        }
    }
    // While balancing by scores: groups missing a band, and the groups of the highest and the
    // lowest mean, whose pupils are the ones an exchange for the gap must move.
    for (int position = 0; position < int(judgedByBands.size()) && position < view->groupCount();
         ++position) {
        bool missing = false;
        for (GroupingView::Trait band :
             {GroupingView::HighBand, GroupingView::MiddleBand, GroupingView::LowBand})
            missing = missing || view->count(position, band) == 0;
        if (missing && judgedByBands[std::size_t(position)]) {
            for (PersonId p : view->membersOf(position))
                hot[std::size_t(p)] = 1;
        }
    }
    // A band still missing outranks the gap: the exchanges for it are searched first, and alone.
    const bool bandsMissing = !judgedByBands.empty() && currentScore.tier(OrderedScore::ScoreBands) >
                                                            bounds.tier(OrderedScore::ScoreBands);
    const auto [highest, lowest] = judgedByBands.empty() ? std::pair{-1, -1} : extremeMeans();
    for (int position : {highest, lowest}) {
        if (position < 0 || bandsMissing)
            continue;
        for (PersonId p : view->membersOf(position))
            hot[std::size_t(p)] = 1;
    }
    std::vector<PersonId> result;
    for (std::size_t p = 1; p < hot.size(); ++p) {
        if (hot[p] && isMovable(PersonId(p)) && view->positionOf(PersonId(p)) >= 0)
            result.push_back(PersonId(p));
    }
    std::shuffle(result.begin(), result.end(), random);
    return result;
}

bool GroupingSearch::descend()
{
    bool improvedAny = false;
    for (;;) {
        bool improved = false;
        std::vector<PersonId> order = hotPersons();
        std::vector<char> listed(traits.size(), 0);
        for (PersonId p : order)
            listed[std::size_t(p)] = 1;
        std::vector<PersonId> rest;
        for (std::size_t p = 1; p < traits.size(); ++p) {
            if (!listed[p] && isMovable(PersonId(p)))
                rest.push_back(PersonId(p));
        }
        std::shuffle(rest.begin(), rest.end(), random);
        order.insert(order.end(), rest.begin(), rest.end());
        for (PersonId p : order) {
            if (exhausted())
                return improvedAny;
            improved = tryMoves(p) || improved;
        }
        if (!improved && !exhausted())
            improved = tryRotations();
        if (!improved && !exhausted())
            improved = trySmoothing();
        if (!improved && !exhausted())
            improved = tryBlocks();
        if (!improved && !exhausted())
            improved = tryDoubleExchanges();
        if (!improved || reachesBounds(currentScore, bounds))
            return improvedAny || improved;
        improvedAny = true;
    }
}

void GroupingSearch::perturb()
{
    std::vector<PersonId> hot = hotPersons();
    std::vector<PersonId> all;
    for (std::size_t p = 1; p < traits.size(); ++p) {
        if (isMovable(PersonId(p)) && view->positionOf(PersonId(p)) >= 0)
            all.push_back(PersonId(p));
    }
    if (all.empty() || view->groupCount() < 2)
        return;
    const int changes = 1 + int(random() % 2);
    for (int i = 0; i < changes; ++i) {
        const bool fromHot = !hot.empty() && random() % 4 != 0;
        const PersonId p = fromHot ? hot[random() % hot.size()] : all[random() % all.size()];
        const int from = view->positionOf(p);
        int to = int(random() % std::uint32_t(view->groupCount() - 1));
        if (to >= from)
            ++to;
        if (freeSeats(to) > 0 && random() % 2 == 0) {
            accept({{p, from, to}});
            continue;
        }
        std::vector<PersonId> partners;
        for (PersonId q : view->membersOf(to)) {
            if (isMovable(q))
                partners.push_back(q);
        }
        if (partners.empty())
            continue;
        const PersonId q = partners[random() % partners.size()];
        accept({{p, from, to}, {q, to, from}});
    }
}

SeatingPlan GroupingSearch::improve(const SeatingPlan &start)
{
    return improveTowards(start, {});
}

void GroupingSearch::setUp(const SeatingPlan &start)
{
    original = start;
    evaluations = 0;
    // A fixed seat left empty stays its owner's; only the other empty seats take newcomers.
    capacity.assign(std::size_t(start.groupCount()), 0);
    for (int position = 0; position < start.groupCount(); ++position) {
        int reserved = 0;
        for (int index = 0; index < start.seatCount(position); ++index) {
            const SeatRef seat = start.refAt(position, index);
            if (start.seatsAt(position).at(index) == 0 &&
                std::find(fixedSeats.cbegin(), fixedSeats.cend(), seat) != fixedSeats.cend())
                ++reserved;
        }
        capacity[std::size_t(position)] = start.seatCount(position) - reserved;
    }
    load(start.members());
}

SeatingPlan GroupingSearch::improveTowards(const SeatingPlan &start, const std::vector<int> &target)
{
    setUp(start);
    for (std::size_t p = 1; p < target.size() && p < traits.size(); ++p) {
        const int to = target[p];
        const int from = view->positionOf(PersonId(p));
        if (to < 0 || to >= view->groupCount() || from < 0 || from == to || !isMovable(PersonId(p)))
            continue;
        if (freeSeats(to) > 0) {
            view->apply({{PersonId(p), from, to}});
            continue;
        }
        PersonId victim = 0;
        int victimRank = 4;
        for (PersonId v : view->membersOf(to)) {
            const bool wanted = std::size_t(v) < target.size() && target[std::size_t(v)] == to;
            if (!isMovable(v) || wanted)
                continue;
            const int rank = (named[std::size_t(v)] ? 2 : 0) + (traits[std::size_t(v)] == traits[p] ? 0 : 1);
            if (rank < victimRank) {
                victimRank = rank;
                victim = v;
            }
        }
        if (victim != 0)
            view->apply({{PersonId(p), from, to}, {victim, to, from}});
    }
    currentScore = scoreOf(terms, *view);
    bestScore = currentScore;
    best.clear();
    for (int position = 0; position < view->groupCount(); ++position)
        best.push_back(view->membersOf(position));

    // Rounds of perturbation since the best score last fell; a search that has stalled this long
    // rarely moves again, and the count keeps the work the same on every machine.
    int stale = 0;
    while (!exhausted() && !reachesBounds(bestScore, bounds) && stale < MaxStaleRounds) {
        const OrderedScore before = bestScore;
        descend();
        stale = bestScore < before ? 0 : stale + 1;
        if (reachesBounds(bestScore, bounds) || exhausted())
            break;
        if (bestScore < currentScore) {
            Grouping snapshot;
            for (const auto &members : best)
                snapshot.append(QList<int>(members.begin(), members.end()));
            load(snapshot);
        }
        perturb();
        // A perturbation is never free: it counts against the bound even when nothing follows.
        evaluations += 50;
    }
    Grouping snapshot;
    for (const auto &members : best)
        snapshot.append(QList<int>(members.begin(), members.end()));
    load(snapshot);
    return current();
}

namespace {

// Below a hundredth of a hundredth, two gaps or spreads are the same: the doubles only guide the
// search, and the ordered score judges its result exactly.
constexpr double Tolerance = 1e-6;

// The gap between the highest and the lowest group mean, then the squared distances of the means
// from the class mean, which tells apart plans of one gap: the one whose means are drawn closer
// leaves the next change at the extremes more to work with.
using GapValue = std::pair<double, double>;

bool better(const GapValue &a, const GapValue &b)
{
    return a.first < b.first - Tolerance ||
           (a.first <= b.first + Tolerance && a.second < b.second - Tolerance);
}

// Keeps the `most` best options by their value, best first.
template <typename Option> void keepBest(std::vector<Option> &options, std::size_t most, Option option)
{
    if (options.size() == most && !better(option.value, options.back().value))
        return;
    if (options.size() == most)
        options.pop_back();
    const auto at = std::upper_bound(options.begin(), options.end(), option.value,
                                     [](const GapValue &v, const Option &o) { return better(v, o.value); });
    options.insert(at, std::move(option));
}

} // namespace

// The group means as the gap sees them, read from the view after each change made: a candidate
// change touches two or three groups, and its value takes one pass over at most ten without a
// division for the others.
struct GroupingSearch::GapWork
{
    std::vector<qint64> sums;
    std::vector<int> counts;
    std::vector<double> means; // by group, for those with a scored pupil
    std::vector<int> byMean;   // the groups with a scored pupil, highest mean first
    double classMean = 0;
    double spread = 0; // of the means as they are
    GapValue value;
    GapValue bestValue;
    std::vector<std::vector<PersonId>> bestMembers;
    std::vector<std::vector<PersonId>> exhausted; // members by group, sorted, where no change helped
    // Kicks in a row that the descent undid, since the best plan last improved.
    int stuck = 0;
    std::vector<PersonId> pool;                // who may move: movable and seated
    std::vector<std::vector<PersonId>> blocks; // must-together requirements sharing a pupil, joined
    long looked = 0;

    double distance(double mean) const { return (mean - classMean) * (mean - classMean); }

    void refresh(const GroupingView &view)
    {
        const std::size_t groups = std::size_t(view.groupCount());
        sums.resize(groups);
        counts.resize(groups);
        means.resize(groups);
        spread = 0;
        byMean.clear();
        for (std::size_t g = 0; g < groups; ++g) {
            sums[g] = view.scoreSum(int(g));
            counts[g] = view.scoredCount(int(g));
            means[g] = counts[g] > 0 ? double(sums[g]) / counts[g] : 0;
            spread += counts[g] > 0 ? distance(means[g]) : 0;
            if (counts[g] > 0)
                byMean.push_back(int(g));
        }
        std::sort(byMean.begin(), byMean.end(),
                  [this](int a, int b) { return means[std::size_t(a)] > means[std::size_t(b)]; });
    }

    // The highest and the lowest mean of the groups a change leaves alone (`any` false when none
    // of them has one): the first and the last of byMean it does not touch, a step or three in,
    // where a pass over all ten would cost the descent most of its time.
    struct Extremes
    {
        double highest = 0;
        double lowest = 0;
        bool any = false;
    };
    template <typename Touched> Extremes untouched(Touched &&touched) const
    {
        const auto alone = [&](int g) { return !touched(g); };
        const auto high = std::find_if(byMean.begin(), byMean.end(), alone);
        if (high == byMean.end())
            return {};
        return {means[std::size_t(*high)],
                means[std::size_t(*std::find_if(byMean.rbegin(), byMean.rend(), alone))], true};
    }

    GapValue after(std::initializer_list<GapShift> shifts) const
    {
        std::array<double, 3> shifted{};
        std::array<bool, 3> scored{};
        double newSpread = spread;
        std::size_t i = 0;
        for (const GapShift &shift : shifts) {
            const std::size_t g = std::size_t(shift.group);
            const int count = counts[g] + shift.count;
            scored[i] = count > 0;
            shifted[i] = count > 0 ? double(sums[g] + shift.sum) / count : 0;
            newSpread += (scored[i] ? distance(shifted[i]) : 0) - (counts[g] > 0 ? distance(means[g]) : 0);
            if (++i == shifted.size())
                break;
        }
        unsigned touched = 0; // by group, a bit each: a grouping has at most GroupCount groups
        for (const GapShift &shift : shifts)
            touched |= 1u << unsigned(shift.group);
        auto [highest, lowest, any] = untouched([touched](int g) { return (touched >> unsigned(g)) & 1u; });
        for (std::size_t k = 0; k < i; ++k) {
            if (!scored[k])
                continue;
            highest = any ? std::max(highest, shifted[k]) : shifted[k];
            lowest = any ? std::min(lowest, shifted[k]) : shifted[k];
            any = true;
        }
        return {highest - lowest, newSpread};
    }
};

// Whether the tiers above the gap stay as they are, or get better, after `moves`.
bool GroupingSearch::keepsTiersAboveGap(const std::vector<PersonMove> &moves) const
{
    for (std::size_t i = 0; i < terms.size() && i < std::size_t(OrderedScore::ScoreGap); ++i) {
        std::optional<qint64> change = terms[i]->delta(*view, moves);
        if (!change) {
            // The view may be ahead of currentScore here.
            const qint64 before = terms[i]->cost(*view);
            view->apply(moves);
            change = terms[i]->cost(*view) - before;
            view->revert(moves);
        }
        if (*change != 0)
            return *change < 0;
    }
    return true;
}

// Two persons of one kind and band whom no requirement names are alike to every tier above the
// gap; any other change asks those tiers.
bool GroupingSearch::allowedForGap(const std::vector<PersonMove> &moves) const
{
    const bool twins = std::all_of(moves.begin(), moves.end(), [&](const PersonMove &m) {
        return !named[std::size_t(m.person)] &&
               traits[std::size_t(m.person)] == traits[std::size_t(moves[0].person)];
    });
    return (twins && moves.size() > 1) || keepsTiersAboveGap(moves);
}

void GroupingSearch::changeForGap(GapWork &work, const std::vector<PersonMove> &moves)
{
    view->apply(moves);
    work.refresh(*view);
}

// Made when the shifted sums narrow the gap or the spread and the moves keep the tiers above.
bool GroupingSearch::tryForGap(GapWork &work, const std::vector<PersonMove> &moves,
                               std::initializer_list<GapShift> shifts)
{
    ++work.looked;
    const GapValue next = work.after(shifts);
    if (!better(next, work.value) || !allowedForGap(moves))
        return false;
    changeForGap(work, moves);
    work.value = next;
    keepIfBest(work);
    return true;
}

// Whether the plan as it is now is the best so far, which it then becomes.
bool GroupingSearch::keepIfBest(GapWork &work)
{
    if (!better(work.value, work.bestValue))
        return false;
    work.bestValue = work.value;
    work.bestMembers = membersNow();
    work.stuck = 0;
    return true;
}

std::vector<std::vector<PersonId>> GroupingSearch::membersNow() const
{
    std::vector<std::vector<PersonId>> members;
    members.reserve(std::size_t(view->groupCount()));
    for (int g = 0; g < view->groupCount(); ++g)
        members.push_back(view->membersOf(g));
    return members;
}

void GroupingSearch::restoreForGap(GapWork &work)
{
    Grouping grouping;
    for (const auto &group : work.bestMembers)
        grouping.append(QList<int>(group.begin(), group.end()));
    load(grouping);
    work.refresh(*view);
    work.value = work.bestValue;
}

// First improvement, in a shuffled order, until no exchange and no move to a free seat narrows
// the gap or the spread.
void GroupingSearch::descendForGap(GapWork &work, long steps)
{
    const int groups = view->groupCount();
    std::vector<PersonMove> moves;
    bool improved = true;
    while (improved && work.looked < steps && !stopRequested()) {
        improved = false;
        std::shuffle(work.pool.begin(), work.pool.end(), random);
        for (PersonId p : work.pool) {
            if (work.looked >= steps)
                return;
            const int a = view->positionOf(p);
            const int sp = view->scoreOf(p);
            const qint64 out = qMax(sp, 0);
            const int outCount = sp >= 0;
            bool moved = false;
            for (int k = 1; k < groups && !moved; ++k) {
                const int b = (a + k) % groups;
                if (freeSeats(b) > 0 && sp >= 0) {
                    moves = {{p, a, b}};
                    moved = tryForGap(work, moves, {{a, -out, -outCount}, {b, out, outCount}});
                }
                for (std::size_t i = 0; i < view->membersOf(b).size() && !moved; ++i) {
                    const PersonId q = view->membersOf(b)[i];
                    const int sq = view->scoreOf(q);
                    if (!isMovable(q) || sp == sq)
                        continue;
                    const qint64 in = qint64(qMax(sq, 0)) - out;
                    const int inCount = int(sq >= 0) - outCount;
                    moves = {{p, a, b}, {q, b, a}};
                    moved = tryForGap(work, moves, {{a, in, inCount}, {b, -in, -inCount}});
                }
            }
            improved = improved || moved;
        }
    }
}

// Three persons passed round the groups of the highest and the lowest mean and a third: what no
// single exchange can do when each one costs a tier above.
bool GroupingSearch::rotateForGap(GapWork &work, long steps)
{
    const auto [highest, lowest] = extremeMeans();
    if (highest == lowest)
        return false;
    const auto scored = [this](PersonId p) { return view->scoreOf(p) >= 0; };
    std::vector<PersonMove> moves;
    const std::vector<PersonId> inHigh = view->membersOf(highest);
    const std::vector<PersonId> inLow = view->membersOf(lowest);
    for (int c = 0; c < view->groupCount(); ++c) {
        if (c == highest || c == lowest)
            continue;
        const std::vector<PersonId> inC = view->membersOf(c);
        for (PersonId p : inHigh) {
            for (PersonId r : inLow) {
                for (PersonId q : inC) {
                    if (work.looked >= steps || stopRequested())
                        return false;
                    if (!isMovable(p) || !isMovable(q) || !isMovable(r) || scored(p) != scored(q) ||
                        scored(q) != scored(r))
                        continue;
                    const qint64 sp = qMax(view->scoreOf(p), 0);
                    const qint64 sq = qMax(view->scoreOf(q), 0);
                    const qint64 sr = qMax(view->scoreOf(r), 0);
                    moves = {{p, highest, c}, {q, c, lowest}, {r, lowest, highest}};
                    if (tryForGap(work, moves,
                                  {{highest, sr - sp, 0}, {c, sp - sq, 0}, {lowest, sq - sr, 0}}))
                        return true;
                    moves = {{p, highest, lowest}, {r, lowest, c}, {q, c, highest}};
                    if (tryForGap(work, moves,
                                  {{highest, sq - sp, 0}, {lowest, sp - sr, 0}, {c, sr - sq, 0}}))
                        return true;
                }
            }
        }
    }
    return false;
}

namespace {

// The next set of ascending indices below `n`, in lexicographic order, in place; false after the
// last one.
template <typename Index> bool nextSet(Index *first, Index *last, std::size_t n)
{
    const std::size_t size = std::size_t(last - first);
    std::size_t k = size;
    while (k > 0 && std::size_t(first[k - 1]) == n - size + k - 1)
        --k;
    if (k == 0)
        return false;
    ++first[k - 1];
    for (std::size_t j = k; j < size; ++j)
        first[j] = first[j - 1] + 1;
    return true;
}

// Some movable members of one group: their score sum and how many of them have a score.
struct MemberSet
{
    qint64 sum = 0;
    int count = 0;
    int size = 0;
    std::array<PersonId, GroupingSearch::MaxSetExchange> members{};
};

// How many sets of `size` persons `from` has; stops counting past `cap`.
long setCount(std::size_t from, int size, long cap)
{
    long count = 1;
    for (int i = 0; i < size; ++i) {
        count = count * long(from - std::size_t(i)) / (i + 1);
        if (count > cap || std::size_t(i) >= from)
            return std::min(count, cap + 1);
    }
    return count;
}

// Every set of `size` persons of `from`.
std::vector<MemberSet> memberSets(const GroupingView &view, const std::vector<PersonId> &from, int size)
{
    std::vector<MemberSet> sets;
    const int n = int(from.size());
    std::array<int, GroupingSearch::MaxSetExchange> at{};
    std::iota(at.begin(), at.begin() + size, 0);
    while (n >= size) {
        MemberSet set;
        set.size = size;
        for (int i = 0; i < size; ++i) {
            const PersonId p = from[std::size_t(at[std::size_t(i)])];
            set.members[std::size_t(i)] = p;
            set.sum += qMax(view.scoreOf(p), 0);
            set.count += view.scoreOf(p) >= 0;
        }
        sets.push_back(set);
        if (!nextSet(at.data(), at.data() + size, std::size_t(n)))
            break;
    }
    return sets;
}

} // namespace

std::vector<PersonId> GroupingSearch::movableIn(int position) const
{
    std::vector<PersonId> members;
    for (PersonId p : view->membersOf(position)) {
        if (isMovable(p))
            members.push_back(p);
    }
    return members;
}

// Two to four persons of the group of the highest or the lowest mean for as many of another
// group, of any kinds: a leader with a pupil of another band, say, or a must-together pair with
// two others, where each exchange alone would cost a tier above. Only two groups' means change, so
// a candidate costs a few additions and two divisions; the tiers above are asked about the
// MaxSetOptions best only, best first.
bool GroupingSearch::exchangeSetsForGap(GapWork &work, long steps)
{
    const auto [highest, lowest] = extremeMeans();
    if (highest == lowest || work.looked >= steps)
        return false;
    struct Option
    {
        GapValue value;
        int from;
        int to;
        MemberSet out;
        MemberSet in;
    };
    std::vector<Option> options;
    long evaluated = 0;
    const int groups = view->groupCount();
    for (int e : {highest, lowest}) {
        std::array<std::vector<MemberSet>, MaxSetExchange + 1> outOfE;
        const std::vector<PersonId> inE = movableIn(e);
        for (int size = 2; size <= MaxSetExchange; ++size) {
            if (setCount(inE.size(), size, MaxSetPairs) <= MaxSetPairs)
                outOfE[std::size_t(size)] = memberSets(*view, inE, size);
        }
        for (int b = 0; b < groups; ++b) {
            if (b == e)
                continue;
            if (stopRequested())
                return false;
            // The extremes and the spread of the groups the exchange leaves alone.
            const auto [high, low, any] = work.untouched([e, b](int g) { return g == e || g == b; });
            double spread = work.spread;
            for (int g : {e, b})
                spread -= work.counts[std::size_t(g)] > 0 ? work.distance(work.means[std::size_t(g)]) : 0;
            const std::vector<PersonId> inB = movableIn(b);
            for (int size = 2; size <= MaxSetExchange; ++size) {
                // Sets of large groups, by the hundred thousand, would take the time of the
                // whole generate: those groups narrow the gap with the other changes.
                const long pairs = setCount(inB.size(), size, MaxSetPairs);
                if (outOfE[std::size_t(size)].empty() ||
                    qint64(pairs) * qint64(outOfE[std::size_t(size)].size()) > MaxSetPairs)
                    continue;
                for (const MemberSet &in : memberSets(*view, inB, size)) {
                    for (const MemberSet &out : outOfE[std::size_t(size)]) {
                        ++evaluated;
                        double h = high;
                        double l = low;
                        bool has = any;
                        double s = spread;
                        for (const auto &[g, sign] : {std::pair{e, 1}, std::pair{b, -1}}) {
                            const int count = work.counts[std::size_t(g)] + sign * (in.count - out.count);
                            if (count == 0)
                                continue;
                            const double mean =
                                double(work.sums[std::size_t(g)] + sign * (in.sum - out.sum)) / count;
                            h = has ? std::max(h, mean) : mean;
                            l = has ? std::min(l, mean) : mean;
                            has = true;
                            s += work.distance(mean);
                        }
                        const GapValue value{h - l, s};
                        if (better(value, work.value))
                            keepBest(options, MaxSetOptions, Option{value, e, b, out, in});
                    }
                }
            }
        }
    }
    work.looked += evaluated / SetsPerStep + 1;
    std::vector<PersonMove> moves;
    for (const Option &option : options) {
        moves.clear();
        for (int i = 0; i < option.out.size; ++i) {
            moves.push_back({option.out.members[std::size_t(i)], option.from, option.to});
            moves.push_back({option.in.members[std::size_t(i)], option.to, option.from});
        }
        const qint64 in = option.in.sum - option.out.sum;
        const int inCount = option.in.count - option.out.count;
        if (tryForGap(work, moves, {{option.from, in, inCount}, {option.to, -in, -inCount}}))
            return true;
    }
    return false;
}

// The members of two groups with no fixed person trade places whole, which leaves every mean as
// it is, and one more pupil joins the group that gets the seats to spare: a group holding a
// must-together block of the best scores comes down to the others only with one more pupil than
// its own seats allow, and the trade may mend a gender target as well.
bool GroupingSearch::relocateForGap(GapWork &work, long steps)
{
    const int groups = view->groupCount();
    if (work.looked >= steps)
        return false;
    struct Option
    {
        GapValue value;
        int from; // the members of `from` move to `to`, and `to`'s to `from`
        int to;
        PersonId joining;
    };
    std::vector<Option> options;
    long evaluated = 0;
    // What the trade does to the sums where `from`'s members go, where `to`'s go, and where q
    // comes from when that is a third group.
    const auto shifts = [&](int from, int to, PersonId q) {
        const std::size_t f = std::size_t(from);
        const std::size_t t = std::size_t(to);
        const int c = view->positionOf(q);
        const qint64 sq = view->scoreOf(q);
        const qint64 leftAt = c == to ? sq : 0;
        return std::array<GapShift, 3>{
            GapShift{to, work.sums[f] + sq - work.sums[t], work.counts[f] + 1 - work.counts[t]},
            GapShift{from, work.sums[t] - leftAt - work.sums[f],
                     work.counts[t] - int(c == to) - work.counts[f]},
            GapShift{c, -sq, -1}};
    };
    std::vector<char> allMovable(std::size_t(groups), 0);
    for (int g = 0; g < groups; ++g) {
        const std::vector<PersonId> &members = view->membersOf(g);
        allMovable[std::size_t(g)] =
            std::all_of(members.begin(), members.end(), [this](PersonId p) { return isMovable(p); });
    }
    for (int from = 0; from < groups; ++from) {
        for (int to = 0; to < groups; ++to) {
            const std::size_t f = std::size_t(from);
            const std::size_t t = std::size_t(to);
            if (capacity[t] <= capacity[f] || capacity[t] - view->sizeOf(from) <= 0 ||
                view->sizeOf(to) > capacity[f] || !allMovable[f] || !allMovable[t])
                continue;
            for (PersonId q : work.pool) {
                const int c = view->positionOf(q);
                const int sq = view->scoreOf(q);
                if (c == from || sq < 0)
                    continue;
                ++evaluated;
                const auto [there, here, away] = shifts(from, to, q);
                const GapValue value = c == to ? work.after({there, here}) : work.after({there, here, away});
                if (better(value, work.value))
                    keepBest(options, MaxRelocations, Option{value, from, to, q});
            }
        }
    }
    work.looked += evaluated / SetsPerStep + 1;
    std::vector<PersonMove> moves;
    for (const Option &option : options) {
        const PersonId q = option.joining;
        const int c = view->positionOf(q);
        moves.clear();
        for (PersonId m : view->membersOf(option.from))
            moves.push_back({m, option.from, option.to});
        for (PersonId m : view->membersOf(option.to)) {
            if (m != q)
                moves.push_back({m, option.to, option.from});
        }
        if (c != option.to)
            moves.push_back({q, c, option.to});
        const auto [there, here, away] = shifts(option.from, option.to, q);
        if (c == option.to ? tryForGap(work, moves, {there, here})
                           : tryForGap(work, moves, {there, here, away}))
            return true;
    }
    return false;
}

// As a set, not person by person: a block of a boy leader, a girl and a girl boarder finds no
// boy leader and no girl boarder among two girls (one a leader) and three boys (one a boarder),
// though the girl leader, the other girl and the boy boarder keep every tally of both groups.
// The first of equals wins, and the caller shuffles the candidates.
std::optional<std::vector<PersonId>> sameTallies(const std::vector<unsigned char> &traits,
                                                 const std::vector<char> &named,
                                                 const std::vector<PersonId> &block,
                                                 const std::vector<PersonId> &candidates, std::size_t count)
{
    if (count > candidates.size())
        return std::nullopt;
    // A requirement outranks every tally, and the leaders, the boarders, the boys and the bands
    // follow in the order of their tiers; each weight exceeds the most the ones below it add up to.
    constexpr std::array<std::pair<unsigned char, qint64>, 6> Weights{{{GroupingView::Leader, 1 << 15},
                                                                       {GroupingView::Boarder, 1 << 10},
                                                                       {GroupingView::Boy, 1 << 5},
                                                                       {GroupingView::HighBand, 1},
                                                                       {GroupingView::MiddleBand, 1},
                                                                       {GroupingView::LowBand, 1}}};
    std::array<int, Weights.size()> wanted{};
    for (PersonId m : block) {
        for (std::size_t k = 0; k < Weights.size(); ++k)
            wanted[k] += (traits[std::size_t(m)] & Weights[k].first) != 0;
    }
    // Past this many sets, in order, the best of those looked at stands: a kick is a guess, and a
    // block of five into a group of twelve would have 792 of them.
    constexpr long MostSets = 512;
    std::vector<std::size_t> at(count);
    std::iota(at.begin(), at.end(), std::size_t(0));
    std::vector<PersonId> chosen(candidates.begin(), candidates.begin() + long(count));
    qint64 bestCost = std::numeric_limits<qint64>::max();
    for (long looked = 0; looked < MostSets; ++looked) {
        std::array<int, Weights.size()> got{};
        qint64 cost = 0;
        for (std::size_t i : at) {
            const PersonId v = candidates[i];
            cost += named[std::size_t(v)] ? qint64(1) << 20 : 0;
            for (std::size_t k = 0; k < Weights.size(); ++k)
                got[k] += (traits[std::size_t(v)] & Weights[k].first) != 0;
        }
        for (std::size_t k = 0; k < Weights.size(); ++k)
            cost += Weights[k].second * std::abs(got[k] - wanted[k]);
        if (cost < bestCost) {
            bestCost = cost;
            for (std::size_t i = 0; i < count; ++i)
                chosen[i] = candidates[at[i]];
        }
        if (!nextSet(at.data(), at.data() + count, candidates.size()))
            break;
    }
    return chosen;
}

// Out of a local best: a block into another group, each member taking a free seat or the place of
// someone there of the member's own kind where there is one; or a few exchanges of persons of one
// kind, more of them the more kicks in a row the descent has undone. Made only where they keep the
// tiers above.
void GroupingSearch::kickForGap(GapWork &work)
{
    const int groups = view->groupCount();
    work.looked += groups;
    std::vector<PersonMove> moves;
    if (!work.blocks.empty() && random() % 2 == 0) {
        const std::vector<PersonId> &block = work.blocks[random() % work.blocks.size()];
        const int to = int(random() % std::uint32_t(groups));
        const int from = view->positionOf(block.front());
        if (from < 0 || from == to ||
            std::any_of(block.begin(), block.end(), [&](PersonId m) { return view->positionOf(m) != from; }))
            return;
        std::vector<PersonId> candidates = movableIn(to);
        std::shuffle(candidates.begin(), candidates.end(), random);
        const std::size_t needed = block.size() - std::min(block.size(), std::size_t(freeSeats(to)));
        const std::optional<std::vector<PersonId>> back =
            sameTallies(traits, named, block, candidates, needed);
        if (!back)
            return;
        for (PersonId m : block)
            moves.push_back({m, from, to});
        for (PersonId v : *back)
            moves.push_back({v, to, from});
        if (allowedForGap(moves))
            changeForGap(work, moves);
        return;
    }
    const int kicks = 1 + int(random() % 3) + std::min(work.stuck, MaxKickGrowth);
    for (int i = 0; i < kicks && work.pool.size() > 1; ++i) {
        const PersonId p = work.pool[random() % work.pool.size()];
        const int a = view->positionOf(p);
        std::vector<PersonId> partners;
        for (PersonId q : work.pool) {
            if (view->positionOf(q) != a && traits[std::size_t(q)] == traits[std::size_t(p)])
                partners.push_back(q);
        }
        if (partners.empty())
            continue;
        const PersonId q = partners[random() % partners.size()];
        moves = {{p, a, view->positionOf(q)}, {q, view->positionOf(q), a}};
        if (allowedForGap(moves))
            changeForGap(work, moves);
    }
}

SeatingPlan GroupingSearch::narrowGap(const SeatingPlan &start, long steps, long rounds)
{
    setUp(start);
    const OrderedScore startScore = currentScore;
    if (judgedByBands.empty() || view->groupCount() < 2)
        return start;
    GapWork work;
    work.refresh(*view);
    const qint64 total = std::accumulate(work.sums.begin(), work.sums.end(), qint64(0));
    const qint64 scored = std::accumulate(work.counts.begin(), work.counts.end(), qint64(0));
    if (scored == 0)
        return start;
    work.classMean = double(total) / double(scored);
    work.refresh(*view);
    for (std::size_t p = 1; p < traits.size(); ++p) {
        if (isMovable(PersonId(p)) && view->positionOf(PersonId(p)) >= 0)
            work.pool.push_back(PersonId(p));
    }
    for (const QList<PersonId> &block :
         RequirementRules::togetherBlocks(state.mustTogether, int(traits.size()) - 1)) {
        if (std::all_of(block.begin(), block.end(), [this](PersonId p) { return isMovable(p); }))
            work.blocks.emplace_back(block.begin(), block.end());
    }
    work.value = work.bestValue = work.after({});
    work.bestMembers = membersNow();
    // A gap still above half a point, which a teacher reads off the log, earns up to
    // rounds - 1 more rounds of the same work; a smaller one stops after the first.
    long limit = steps;
    while (!stopRequested() && work.value.first > Tolerance) {
        if (work.looked >= limit) {
            if (limit >= rounds * steps || work.bestValue.first <= NoticeableGap)
                break;
            limit += steps;
        }
        descendForGap(work, limit);
        // Most kicks are undone by the descent, back to the local best where the changes below
        // have all been tried. They draw nothing at random, so they would all but surely fail
        // there again (the descent's order may break a tie otherwise), and they are a third of
        // the work that follows a kick.
        std::vector<std::vector<PersonId>> reached = membersNow();
        for (auto &members : reached)
            std::sort(members.begin(), members.end());
        if (reached != work.exhausted) {
            if (rotateForGap(work, limit) || exchangeSetsForGap(work, limit) || relocateForGap(work, limit))
                continue;
            if (work.looked < limit && !stopRequested())
                work.exhausted = std::move(reached);
        } else {
            ++work.stuck;
        }
        if (!keepIfBest(work))
            restoreForGap(work);
        kickForGap(work);
        work.value = work.after({});
    }
    restoreForGap(work);
    best = work.bestMembers;
    bestScore = currentScore;
    if (!(currentScore < startScore)) {
        load(start.members());
        bestScore = startScore;
        return start;
    }
    return current();
}

} // namespace Velmora
