#include "groupingsearch.h"

#include "classscores.h"
#include "requirementrules.h"

#include <algorithm>

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
    for (PersonId p : hot) {
        const int a = view->positionOf(p);
        if (a < 0 || !isMovable(p))
            continue;
        for (int b = 0; b < view->groupCount(); ++b) {
            if (b == a)
                continue;
            unsigned tried = 0;
            const std::vector<PersonId> inB = view->membersOf(b);
            for (PersonId q : inB) {
                if (!isMovable(q) || interchangeable(p, q))
                    continue;
                if (!firstOfKind(q, tried))
                    continue;
                // The second exchange: someone of group a or b (after the first) with someone of
                // a third group, one of each kind per group.
                for (int side : {a, b}) {
                    std::vector<PersonId> there;
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
                            const std::vector<PersonId> inC = view->membersOf(c);
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

SeatingPlan GroupingSearch::improveTowards(const SeatingPlan &start, const std::vector<int> &target)
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

} // namespace Velmora
