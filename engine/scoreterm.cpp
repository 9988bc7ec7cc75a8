#include "scoreterm.h"

#include "balanceterms.h"
#include "classscores.h"

#include <algorithm>
#include <array>

namespace Velmora {

GroupingView::GroupingView(const Grouping &grouping, PersonTraits personTraits)
    : traits(std::move(personTraits.kinds)), scores(std::move(personTraits.scores))
{
    if (traits.empty())
        traits.assign(1, 0);
    where.assign(traits.size(), -1);
    slot.assign(traits.size(), 0);
    groups.resize(std::size_t(grouping.size()));
    tally.assign(std::size_t(grouping.size()), {});
    sums.assign(std::size_t(grouping.size()), 0);
    for (int position = 0; position < grouping.size(); ++position) {
        for (PersonId p : grouping.at(position)) {
            // Unknown numbers and a second seat of one person take no part in the score.
            if (p < 1 || std::size_t(p) >= where.size() || where[std::size_t(p)] >= 0)
                continue;
            where[std::size_t(p)] = position;
            slot[std::size_t(p)] = groups[std::size_t(position)].size();
            groups[std::size_t(position)].push_back(p);
            const unsigned char t = traits[std::size_t(p)];
            for (int k = 0; k < TraitCount; ++k)
                tally[std::size_t(position)][std::size_t(k)] += (t >> k) & 1;
            sums[std::size_t(position)] += qMax(0, scoreOf(p));
        }
    }
    for (std::size_t p = 1; p < where.size(); ++p) {
        if (where[p] < 0) {
            slot[p] = unseated.size();
            unseated.push_back(PersonId(p));
        }
    }
}

void GroupingView::move(PersonId p, int to)
{
    const int from = positionOf(p);
    if (p < 1 || std::size_t(p) >= where.size() || to == from || to >= groupCount())
        return;
    const unsigned char t = traits[std::size_t(p)];
    auto &source = from >= 0 ? groups[std::size_t(from)] : unseated;
    const std::size_t index = slot[std::size_t(p)];
    source[index] = source.back();
    slot[std::size_t(source[index])] = index;
    source.pop_back();
    auto &target = to >= 0 ? groups[std::size_t(to)] : unseated;
    slot[std::size_t(p)] = target.size();
    target.push_back(p);
    where[std::size_t(p)] = to;
    const int score = qMax(0, scoreOf(p));
    for (int k = 0; k < TraitCount; ++k) {
        const int has = (t >> k) & 1;
        if (from >= 0)
            tally[std::size_t(from)][std::size_t(k)] -= has;
        if (to >= 0)
            tally[std::size_t(to)][std::size_t(k)] += has;
    }
    if (from >= 0)
        sums[std::size_t(from)] -= score;
    if (to >= 0)
        sums[std::size_t(to)] += score;
}

void GroupingView::apply(const std::vector<PersonMove> &moves)
{
    for (const PersonMove &m : moves)
        move(m.person, m.to);
}

void GroupingView::revert(const std::vector<PersonMove> &moves)
{
    for (auto it = moves.rbegin(); it != moves.rend(); ++it)
        move(it->person, it->from);
}

PersonTraits personTraits(const ClassState &state)
{
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    PersonTraits traits;
    traits.kinds.assign(std::size_t(people) + 1, 0);
    for (int p = 1; p <= people; ++p) {
        unsigned char t = 0;
        if (state.roster.isBoy(p))
            t |= GroupingView::Boy;
        if (state.roster.isLeader(p))
            t |= GroupingView::Leader;
        if (state.roster.isBoarder(p))
            t |= GroupingView::Boarder;
        traits.kinds[std::size_t(p)] = t;
    }
    const ClassScores scores(state);
    if (!scores.balancing())
        return traits;
    traits.scores.assign(std::size_t(people) + 1, -1);
    for (int p = 1; p <= people; ++p) {
        const int band = scores.bandOf(p);
        if (band < 0)
            continue;
        traits.kinds[std::size_t(p)] |= static_cast<unsigned char>(GroupingView::HighBand << band);
        traits.scores[std::size_t(p)] = scores.scoreOf(p);
    }
    return traits;
}

OrderedScore scoreOf(const ScoreTerms &terms, const GroupingView &view)
{
    OrderedScore score;
    score.reserve(terms.size());
    for (const ScoreTermPointer &term : terms)
        score.push_back(term->cost(view));
    return score;
}

OrderedScore lowerBounds(const ScoreTerms &terms)
{
    OrderedScore bounds;
    for (const ScoreTermPointer &term : terms)
        bounds.push_back(term->lowerBound());
    return bounds;
}

bool reachesBounds(const OrderedScore &score, const OrderedScore &bounds)
{
    for (std::size_t i = 0; i < score.size() && i < bounds.size(); ++i) {
        if (score[i] > bounds[i])
            return false;
    }
    return true;
}

namespace {

// The tallies of the positions a change touches, before and after it.
struct TouchedGroup
{
    int position;
    int size;
    int boys;
    int leaders;
    int boarders;
    int sizeAfter;
    int boysAfter;
    int leadersAfter;
    int boardersAfter;
};

// At most one entry per group, and a grouping has at most GroupCount groups; no allocation,
// since the search asks for it hundreds of thousands of times.
struct TouchedGroups
{
    std::array<TouchedGroup, GroupCount> entries;
    int size = 0;
    const TouchedGroup *begin() const { return entries.data(); }
    const TouchedGroup *end() const { return entries.data() + size; }
    bool empty() const { return size == 0; }
};

// Whether a person with `trait` changes group: the leaders' and the boarders' tallies stay as
// they are otherwise, which is so for most of the changes the search looks at.
bool movesAny(const GroupingView &view, const std::vector<PersonMove> &moves, GroupingView::Trait trait)
{
    return std::any_of(moves.begin(), moves.end(), [&](const PersonMove &m) {
        return m.from != m.to && (view.traitsOf(m.person) & trait) != 0;
    });
}

TouchedGroups touchedGroups(const GroupingView &view, const std::vector<PersonMove> &moves)
{
    TouchedGroups touched;
    const auto entry = [&](int position) -> TouchedGroup & {
        for (int i = 0; i < touched.size; ++i) {
            if (touched.entries[std::size_t(i)].position == position)
                return touched.entries[std::size_t(i)];
        }
        const int size = view.sizeOf(position);
        const int boys = view.count(position, GroupingView::Boy);
        const int leaders = view.count(position, GroupingView::Leader);
        const int boarders = view.count(position, GroupingView::Boarder);
        TouchedGroup &added = touched.entries[std::size_t(touched.size++)];
        added = {position, size, boys, leaders, boarders, size, boys, leaders, boarders};
        return added;
    };
    for (const PersonMove &m : moves) {
        if (m.from == m.to)
            continue;
        const unsigned char t = view.traitsOf(m.person);
        if (m.from >= 0) {
            TouchedGroup &from = entry(m.from);
            from.sizeAfter -= 1;
            from.boysAfter -= (t & GroupingView::Boy) != 0;
            from.leadersAfter -= (t & GroupingView::Leader) != 0;
            from.boardersAfter -= (t & GroupingView::Boarder) != 0;
        }
        if (m.to >= 0) {
            TouchedGroup &to = entry(m.to);
            to.sizeAfter += 1;
            to.boysAfter += (t & GroupingView::Boy) != 0;
            to.leadersAfter += (t & GroupingView::Leader) != 0;
            to.boardersAfter += (t & GroupingView::Boarder) != 0;
        }
    }
    return touched;
}

class FixedTerm : public ScoreTerm
{
public:
    explicit FixedTerm(const ClassState &state)
    {
        const QList<int> enabled = state.enabledGroups();
        const QMap<PersonId, SeatRef> accepted = acceptedFixedSeats(state);
        for (auto it = accepted.cbegin(); it != accepted.cend(); ++it) {
            fixed.push_back({it.key(), int(enabled.indexOf(it.value().group - 1))});
            if (it.key() >= 1) {
                isFixed.resize(std::max(isFixed.size(), std::size_t(it.key()) + 1), 0);
                isFixed[std::size_t(it.key())] = 1;
            }
        }
    }

    qint64 cost(const GroupingView &view) const override
    {
        qint64 away = 0;
        for (const auto &[person, position] : fixed)
            away += view.positionOf(person) != position;
        return away;
    }

    std::optional<qint64> delta(const GroupingView &view, const std::vector<PersonMove> &moves) const override
    {
        const bool movesFixed = std::any_of(moves.begin(), moves.end(), [this](const PersonMove &m) {
            return m.person >= 1 && std::size_t(m.person) < isFixed.size() && isFixed[std::size_t(m.person)];
        });
        if (!movesFixed)
            return 0;
        qint64 change = 0;
        for (const auto &[person, position] : fixed) {
            int after = view.positionOf(person);
            for (const PersonMove &m : moves) {
                if (m.person == person)
                    after = m.to;
            }
            change += qint64(after != position) - qint64(view.positionOf(person) != position);
        }
        return change;
    }

private:
    std::vector<std::pair<PersonId, int>> fixed;
    std::vector<char> isFixed; // by PersonId, up to the last fixed person
};

class RequirementTerm : public ScoreTerm
{
public:
    explicit RequirementTerm(const ClassState &state)
        : together(state.mustTogether), separate(state.mustSeparate)
    {
        const std::size_t people = std::size_t(state.roster.maleCount() + state.roster.femaleCount()) + 1;
        togetherOf.resize(people);
        separateOf.resize(people);
        for (int r = 0; r < together.size(); ++r) {
            for (PersonId p : together.at(r)) {
                if (p >= 1 && std::size_t(p) < people)
                    togetherOf[std::size_t(p)].push_back(r);
            }
            firsts.push_back(together.at(r).isEmpty() ? 0 : together.at(r).first());
        }
        firstCount.assign(people, 0);
        for (PersonId first : firsts) {
            if (first >= 1 && std::size_t(first) < people)
                ++firstCount[std::size_t(first)];
        }
        for (int s = 0; s < separate.size(); ++s) {
            for (PersonId p : separate.at(s)) {
                if (p >= 1 && std::size_t(p) < people)
                    separateOf[std::size_t(p)].push_back(s);
            }
        }
        for (auto *lists : {&togetherOf, &separateOf}) {
            for (auto &list : *lists)
                list.erase(std::unique(list.begin(), list.end()), list.end());
        }
        named.assign(people, 0);
        for (std::size_t p = 0; p < people; ++p)
            named[p] = !togetherOf[p].empty() || !separateOf[p].empty();
    }

    qint64 cost(const GroupingView &view) const override
    {
        const auto at = [&view](PersonId p) { return view.positionOf(p); };
        qint64 findings = 0;
        for (const Constraint &r : together)
            findings += split(r, at);
        std::vector<qint64> perPosition(std::size_t(view.groupCount()), 0);
        for (PersonId first : firsts) {
            const int position = first == 0 ? -1 : view.positionOf(first);
            if (position >= 0)
                findings += perPosition[std::size_t(position)]++;
        }
        for (const Constraint &s : separate)
            findings += joined(s, at);
        return findings;
    }

    std::optional<qint64> delta(const GroupingView &view, const std::vector<PersonMove> &moves) const override
    {
        // Most candidate changes move nobody a requirement names.
        const auto isNamed = [this](PersonId p) {
            return p >= 1 && std::size_t(p) < named.size() && named[std::size_t(p)];
        };
        if (std::none_of(moves.begin(), moves.end(), [&](const PersonMove &m) { return isNamed(m.person); }))
            return 0;
        // Where each person moved ends up: their last move says so. A change of more persons than
        // this is judged on the changed view instead, which is rare and right all the same.
        constexpr std::size_t MostMoved = 32;
        struct Moved
        {
            PersonId person;
            int before;
            int after;
            bool counts; // named by a requirement, and in another group after
        };
        std::array<Moved, MostMoved> moved;
        std::size_t count = 0;
        for (const PersonMove &m : moves) {
            const auto known = std::find_if(moved.begin(), moved.begin() + long(count),
                                            [&](const Moved &e) { return e.person == m.person; });
            if (known != moved.begin() + long(count)) {
                known->after = m.to;
            } else if (count == MostMoved) {
                return std::nullopt;
            } else {
                moved[count++] = {m.person, view.positionOf(m.person), m.to, false};
            }
        }
        const auto before = [&view](PersonId p) { return view.positionOf(p); };
        const auto after = [&](PersonId p) {
            for (std::size_t i = 0; i < count; ++i) {
                if (moved[i].person == p)
                    return moved[i].after;
            }
            return view.positionOf(p);
        };
        qint64 change = 0;
        bool firstMoved = false;
        // A requirement is judged once, at the first person moved whom it names.
        for (std::size_t i = 0; i < count; ++i)
            moved[i].counts = isNamed(moved[i].person) && moved[i].before != moved[i].after;
        const auto judgedBefore = [&](std::size_t upTo, int r, bool separate) {
            for (std::size_t k = 0; k < upTo; ++k) {
                if (!moved[k].counts)
                    continue;
                const std::size_t q = std::size_t(moved[k].person);
                const auto &list = separate ? separateOf[q] : togetherOf[q];
                if (std::find(list.begin(), list.end(), r) != list.end())
                    return true;
            }
            return false;
        };
        for (std::size_t i = 0; i < count; ++i) {
            if (!moved[i].counts)
                continue;
            const std::size_t p = std::size_t(moved[i].person);
            firstMoved = firstMoved || firstCount[p] > 0;
            for (int r : togetherOf[p]) {
                if (!judgedBefore(i, r, false))
                    change += qint64(split(together.at(r), after)) - qint64(split(together.at(r), before));
            }
            for (int s : separateOf[p]) {
                if (!judgedBefore(i, s, true))
                    change += qint64(joined(separate.at(s), after)) - qint64(joined(separate.at(s), before));
            }
        }
        if (firstMoved) {
            // Pairs of requirements sharing a group: only the groups a first member left or joined
            // change, and their counts come from their members.
            std::array<int, 2 * MostMoved> positions;
            std::size_t touched = 0;
            for (std::size_t i = 0; i < count; ++i) {
                if (!moved[i].counts || firstCount[std::size_t(moved[i].person)] == 0)
                    continue;
                for (int position : {moved[i].before, moved[i].after}) {
                    if (position >= 0 && std::find(positions.begin(), positions.begin() + long(touched),
                                                   position) == positions.begin() + long(touched))
                        positions[touched++] = position;
                }
            }
            for (std::size_t t = 0; t < touched; ++t) {
                const int position = positions[t];
                qint64 countBefore = 0;
                for (PersonId q : view.membersOf(position))
                    countBefore += firstCount[std::size_t(q)];
                qint64 countAfter = countBefore;
                for (std::size_t i = 0; i < count; ++i) {
                    const PersonId q = moved[i].person;
                    if (!moved[i].counts || firstCount[std::size_t(q)] == 0)
                        continue;
                    countAfter += (moved[i].after == position ? firstCount[std::size_t(q)] : 0) -
                                  (moved[i].before == position ? firstCount[std::size_t(q)] : 0);
                }
                change += countAfter * (countAfter - 1) / 2 - countBefore * (countBefore - 1) / 2;
            }
        }
        return change;
    }

private:
    template <typename At> static bool split(const Constraint &r, const At &at)
    {
        if (r.isEmpty())
            return false;
        const int first = at(r.first());
        if (first < 0)
            return true;
        for (PersonId p : r) {
            if (at(p) != first)
                return true;
        }
        return false;
    }

    template <typename At> static bool joined(const Constraint &s, const At &at)
    {
        for (qsizetype i = 0; i < s.size(); ++i) {
            const int position = at(s.at(i));
            if (position < 0)
                continue;
            for (qsizetype j = i + 1; j < s.size(); ++j) {
                if (at(s.at(j)) == position)
                    return true;
            }
        }
        return false;
    }

    QList<Constraint> together;
    QList<Constraint> separate;
    std::vector<PersonId> firsts;   // by together requirement, 0 for an empty one
    std::vector<qint64> firstCount; // by PersonId: requirements this person comes first in
    std::vector<std::vector<int>> togetherOf;
    std::vector<std::vector<int>> separateOf;
    std::vector<char> named; // by PersonId: in some requirement
};

class LeaderTerm : public ScoreTerm
{
public:
    explicit LeaderTerm(qint64 bound) : bound(bound) {}

    qint64 cost(const GroupingView &view) const override
    {
        qint64 problems = 0;
        for (int position = 0; position < view.groupCount(); ++position)
            problems += view.count(position, GroupingView::Leader) != 1;
        return problems;
    }

    std::optional<qint64> delta(const GroupingView &view, const std::vector<PersonMove> &moves) const override
    {
        if (!movesAny(view, moves, GroupingView::Leader))
            return 0;
        qint64 change = 0;
        for (const TouchedGroup &g : touchedGroups(view, moves))
            change += qint64(g.leadersAfter != 1) - qint64(g.leaders != 1);
        return change;
    }

    qint64 lowerBound() const override { return bound; }

private:
    qint64 bound;
};

class BoarderTerm : public ScoreTerm
{
public:
    explicit BoarderTerm(qint64 bound) : bound(bound) {}

    qint64 cost(const GroupingView &view) const override
    {
        if (view.groupCount() == 0)
            return 0;
        int most = view.count(0, GroupingView::Boarder);
        int fewest = most;
        for (int position = 1; position < view.groupCount(); ++position) {
            most = qMax(most, view.count(position, GroupingView::Boarder));
            fewest = qMin(fewest, view.count(position, GroupingView::Boarder));
        }
        return most - fewest;
    }

    std::optional<qint64> delta(const GroupingView &view, const std::vector<PersonMove> &moves) const override
    {
        if (!movesAny(view, moves, GroupingView::Boarder))
            return 0;
        const TouchedGroups touched = touchedGroups(view, moves);
        if (touched.empty())
            return 0;
        int most = 0;
        int fewest = 0;
        for (int position = 0; position < view.groupCount(); ++position) {
            int boarders = view.count(position, GroupingView::Boarder);
            for (const TouchedGroup &g : touched) {
                if (g.position == position)
                    boarders = g.boardersAfter;
            }
            most = position == 0 ? boarders : qMax(most, boarders);
            fewest = position == 0 ? boarders : qMin(fewest, boarders);
        }
        return qint64(most - fewest) - cost(view);
    }

    qint64 lowerBound() const override { return bound; }

private:
    qint64 bound;
};

class GenderTerm : public ScoreTerm
{
public:
    GenderTerm(const ClassState &state, qint64 bound) : bound(bound)
    {
        for (int index : state.enabledGroups())
            targets.push_back({state.groupConfigs.at(index).males, state.groupConfigs.at(index).females});
    }

    qint64 cost(const GroupingView &view) const override
    {
        qint64 shortfall = 0;
        for (int position = 0; position < view.groupCount(); ++position)
            shortfall += missing(position, view.sizeOf(position), view.count(position, GroupingView::Boy));
        return shortfall;
    }

    std::optional<qint64> delta(const GroupingView &view, const std::vector<PersonMove> &moves) const override
    {
        qint64 change = 0;
        for (const TouchedGroup &g : touchedGroups(view, moves))
            change += missing(g.position, g.sizeAfter, g.boysAfter) - missing(g.position, g.size, g.boys);
        return change;
    }

    qint64 lowerBound() const override { return bound; }

private:
    // In 64 bits, so that any target from the file adds up without wrapping.
    qint64 missing(int position, int size, int boys) const
    {
        if (std::size_t(position) >= targets.size())
            return 0;
        const auto [males, females] = targets[std::size_t(position)];
        return qMax<qint64>(0, qint64(males) - boys) + qMax<qint64>(0, qint64(females) - (size - boys));
    }

    std::vector<std::pair<int, int>> targets;
    qint64 bound;
};

} // namespace

ScoreTerms builtInTerms(const ClassState &state)
{
    const QList<int> enabled = state.enabledGroups();
    const qint64 groups = enabled.size();
    qint64 leaders = 0;
    qint64 boarders = 0;
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    for (int p = 1; p <= people; ++p) {
        leaders += state.roster.isLeader(p);
        boarders += state.roster.isBoarder(p);
    }
    qint64 leaderBound = 0;
    qint64 boarderBound = 0;
    if (groups > 0) {
        leaderBound = leaders < groups ? groups - leaders : (leaders > groups ? 1 : 0);
        boarderBound = boarders % groups == 0 ? 0 : 1;
    }
    // Targets beyond the class cannot be met by any grouping.
    qint64 boysWanted = 0;
    qint64 girlsWanted = 0;
    for (int index : enabled) {
        boysWanted += qMax(0, state.groupConfigs.at(index).males);
        girlsWanted += qMax(0, state.groupConfigs.at(index).females);
    }
    const qint64 genderBound = qMax<qint64>(0, boysWanted - state.roster.maleCount()) +
                               qMax<qint64>(0, girlsWanted - state.roster.femaleCount());
    ScoreTerms terms{std::make_shared<FixedTerm>(state), std::make_shared<RequirementTerm>(state),
                     std::make_shared<LeaderTerm>(leaderBound), std::make_shared<BoarderTerm>(boarderBound),
                     std::make_shared<GenderTerm>(state, genderBound)};
    const ScoreTerms balance = scoreBalanceTerms(state);
    terms.insert(terms.end(), balance.begin(), balance.end());
    return terms;
}

} // namespace Velmora
