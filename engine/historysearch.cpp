#include "historysearch.h"

#include "groupingscore.h"
#include "historyscoreterms.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>
#include <random>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

constexpr int MaxSteps = 400;
// How many of a step's best candidates are scored against the rules before the step gives up.
constexpr int ScoredPerStep = 10;

// A tabu search over exchanges of two persons of different groups and moves to a free seat. Each
// step takes the candidate that lowers the history cost most, or raises it least, so the walk
// leaves local optima; a person may not go back to the group it just left for a few steps, which
// keeps the walk from undoing itself. A candidate that would make the rules' score worse is never
// taken, and the best grouping seen is the result. Exchanges of two persons of one kind (gender,
// leader, boarder) who are neither fixed nor named in a requirement cannot change the rules'
// score, so only the others are scored.
class HistorySearch
{
public:
    HistorySearch(const ClassState &state, const HistoryTerms &terms, Grouping &grouping)
        : terms(terms), grouping(grouping), people(state.roster.maleCount() + state.roster.femaleCount()),
          groups(int(grouping.size())), scorer(state), rules(scorer.score(grouping))
    {
        const QList<int> enabled = state.enabledGroups();
        for (int g = 0; g < groups; ++g)
            capacity.append(g < enabled.size() ? state.groupConfigs.at(enabled.at(g)).total : 0);
        groupOf.assign(std::size_t(people + 1), -1);
        for (int g = 0; g < groups; ++g) {
            for (PersonId p : grouping.at(g)) {
                if (p >= 1 && p <= people)
                    groupOf[std::size_t(p)] = groupOf[std::size_t(p)] == -1 ? g : -2;
            }
        }
        QSet<PersonId> named;
        for (const QList<Constraint> *list : {&state.mustTogether, &state.mustSeparate}) {
            for (const Constraint &c : *list) {
                for (PersonId p : c)
                    named.insert(p);
            }
        }
        kind.assign(std::size_t(people + 1), -1);
        traits.assign(std::size_t(people + 1), 0);
        for (PersonId p = 1; p <= people; ++p) {
            traits[std::size_t(p)] = int(state.roster.isBoy(p)) | int(state.roster.isLeader(p)) << 1;
            // A person seated twice belongs to two requirements the pipeline could not split.
            if (groupOf[std::size_t(p)] < 0 || state.fixedPositions.contains(p))
                continue;
            movable.append(p);
            if (!named.contains(p))
                kind[std::size_t(p)] = int(state.roster.isBoy(p)) | int(state.roster.isLeader(p)) << 1 |
                                       int(state.roster.isBoarder(p)) << 2;
        }
        costs.assign(std::size_t(people + 1) * std::size_t(groups), 0);
        for (PersonId p : std::as_const(movable)) {
            for (int g = 0; g < groups; ++g) {
                qint64 sum = terms.seatWeight(p, g);
                for (PersonId q : grouping.at(g))
                    sum += q != p ? terms.pairWeight(p, q) : 0;
                cost(p, g) = sum;
            }
        }
        tabuUntil.assign(costs.size(), 0);
        versions.fill(0, groups);
    }

    void run(std::mt19937 &random)
    {
        qint64 current = 0;
        qint64 bestSeen = 0;
        GroupingScore bestRules = rules;
        Grouping best = grouping;
        std::vector<Candidate> step;
        for (int s = 1; s <= MaxSteps; ++s) {
            collect(step, s, current - bestSeen);
            if (step.empty())
                break;
            bool moved = false;
            for (int tries = 0; tries < ScoredPerStep && !moved; ++tries) {
                const auto next = cheapest(step, random);
                if (next == step.end())
                    break;
                moved = apply(*next, s, random);
                next->delta = Refused;
            }
            if (!moved)
                continue;
            current += lastDelta;
            if (rules < bestRules || (rules == bestRules && current < bestSeen)) {
                bestRules = rules;
                bestSeen = current;
                best = grouping;
            }
        }
        grouping = best;
    }

private:
    struct Candidate
    {
        qint64 delta;
        PersonId a;
        PersonId b; // 0: a moves to a free seat of `group`
        int group;
    };
    static constexpr qint64 Refused = std::numeric_limits<qint64>::max();

    qint64 &cost(PersonId p, int g) { return costs[slot(p, g)]; }
    std::size_t slot(PersonId p, int g) const
    {
        return std::size_t(p) * std::size_t(groups) + std::size_t(g);
    }
    bool tabu(PersonId p, int g, int s) const { return tabuUntil[slot(p, g)] > s; }

    // The candidate of lowest delta; ties are broken by the seed, so that equal candidates do not
    // always favour the front of the roster.
    static std::vector<Candidate>::iterator cheapest(std::vector<Candidate> &step, std::mt19937 &random)
    {
        auto chosen = step.end();
        int ties = 0;
        for (auto it = step.begin(); it != step.end(); ++it) {
            if (it->delta == Refused)
                continue;
            if (chosen == step.end() || it->delta < chosen->delta) {
                chosen = it;
                ties = 1;
            } else if (it->delta == chosen->delta &&
                       std::uniform_int_distribution<int>(0, ties++)(random) == 0) {
                chosen = it;
            }
        }
        return chosen;
    }

    // Every candidate that is not tabu, or that would beat the best grouping seen
    // (`behindBest` is how far the current one is behind it).
    void collect(std::vector<Candidate> &out, int s, qint64 behindBest)
    {
        out.clear();
        for (qsizetype x = 0; x < movable.size(); ++x) {
            const PersonId a = movable.at(x);
            const int i = groupOf[std::size_t(a)];
            for (int g = 0; g < groups; ++g) {
                if (g == i || grouping.at(g).size() >= capacity.at(g))
                    continue;
                const qint64 delta = cost(a, g) - cost(a, i);
                if ((!tabu(a, g, s) || behindBest + delta < 0) && !stillRefused(a, 0, g))
                    out.push_back({delta, a, 0, g});
            }
            for (qsizetype y = x + 1; y < movable.size(); ++y) {
                const PersonId b = movable.at(y);
                const int j = groupOf[std::size_t(b)];
                // Exchanging a boy for a girl or a leader for a pupil would change a group's
                // counts, which the rules nearly always refuse; scoring them all would use up the steps.
                if (i == j || (traits[std::size_t(a)] & 3) != (traits[std::size_t(b)] & 3))
                    continue;
                const qint64 delta =
                    cost(a, j) + cost(b, i) - cost(a, i) - cost(b, j) - 2 * terms.pairWeight(a, b);
                if (((!tabu(a, j, s) && !tabu(b, i, s)) || behindBest + delta < 0) && !stillRefused(a, b, j))
                    out.push_back({delta, a, b, j});
            }
        }
    }

    bool apply(const Candidate &c, int s, std::mt19937 &random)
    {
        const int i = groupOf[std::size_t(c.a)];
        const bool neutral =
            c.b != 0 && kind[std::size_t(c.a)] >= 0 && kind[std::size_t(c.a)] == kind[std::size_t(c.b)];
        const Grouping before = neutral ? Grouping() : grouping;
        if (c.b == 0)
            relocate(c.a, c.group);
        else
            exchange(c.a, c.b);
        if (!neutral) {
            const GroupingScore candidate = scorer.score(grouping);
            if (rules < candidate) {
                // Undo by the saved grouping: the seat order must come back exactly.
                if (c.b == 0)
                    relocate(c.a, i);
                else
                    exchange(c.a, c.b);
                grouping = before;
                refused.insert(refusalKey(c.a, c.b, c.group), versionsOf(i, c.group));
                return false;
            }
            rules = candidate;
        }
        const int tenure = 5 + std::uniform_int_distribution<int>(0, 4)(random);
        tabuUntil[slot(c.a, i)] = s + tenure;
        if (c.b != 0)
            tabuUntil[slot(c.b, c.group)] = s + tenure;
        lastDelta = c.delta;
        return true;
    }

    // A refusal depends on the two groups involved; it holds until one of them changes.
    quint64 refusalKey(PersonId a, PersonId b, int g) const
    {
        return (quint64(a) * quint64(people + 1) + quint64(b)) * quint64(groups) + quint64(g);
    }
    quint64 versionsOf(int i, int j) const { return quint64(versions.at(i)) << 32 | quint64(versions.at(j)); }
    bool stillRefused(PersonId a, PersonId b, int g) const
    {
        const auto found = refused.constFind(refusalKey(a, b, g));
        return found != refused.cend() && *found == versionsOf(groupOf[std::size_t(a)], g);
    }

    void relocate(PersonId a, int to)
    {
        const int from = groupOf[std::size_t(a)];
        ++versions[from];
        ++versions[to];
        grouping[from].removeOne(a);
        grouping[to].append(a);
        groupOf[std::size_t(a)] = to;
        for (PersonId p : std::as_const(movable)) {
            const qint64 w = terms.pairWeight(p, a);
            cost(p, from) -= w;
            cost(p, to) += w;
        }
    }

    void exchange(PersonId a, PersonId b)
    {
        const int i = groupOf[std::size_t(a)];
        const int j = groupOf[std::size_t(b)];
        ++versions[i];
        ++versions[j];
        *std::find(grouping[i].begin(), grouping[i].end(), a) = b;
        *std::find(grouping[j].begin(), grouping[j].end(), b) = a;
        groupOf[std::size_t(a)] = j;
        groupOf[std::size_t(b)] = i;
        for (PersonId p : std::as_const(movable)) {
            const qint64 wa = terms.pairWeight(p, a);
            const qint64 wb = terms.pairWeight(p, b);
            cost(p, i) += wb - wa;
            cost(p, j) += wa - wb;
        }
    }

    const HistoryTerms &terms;
    Grouping &grouping;
    const int people;
    const int groups;
    GroupingScorer scorer;
    GroupingScore rules;
    QList<int> capacity;
    QList<PersonId> movable;
    std::vector<int> groupOf;   // -1 unseated, -2 seated twice
    std::vector<int> kind;      // -1: fixed, named in a requirement or not movable
    std::vector<int> traits;    // boy and leader bits
    std::vector<qint64> costs;  // by slot(person, group): the person's history cost in that group
    std::vector<int> tabuUntil; // by slot(person, group): the step before which it may not go back
    qint64 lastDelta = 0;
    QList<quint32> versions;         // by group: how often it changed
    QHash<quint64, quint64> refused; // candidate -> versions of its groups when the rules refused it
};

} // namespace

void improveWithHistory(const ClassState &state, const HistoryTerms &terms, Grouping &grouping,
                        std::uint32_t seed)
{
    if (!terms.isActive() || grouping.isEmpty())
        return;
    std::mt19937 random(seed);
    HistorySearch(state, terms, grouping).run(random);
}

SelectedGrouping generateWithHistory(const ClassState &state, const SeedSource &seeds,
                                     const GroupingEngine::WarningSink &warning, const GroupHistory &history)
{
    const auto shared = std::make_shared<const HistoryTerms>(state, history);
    const HistoryTerms &terms = *shared;
    if (!terms.isActive() || state.enabledGroups().isEmpty())
        return generateBestGrouping(state, seeds, warning);
    // One source for the runs and the search, so that the search's seed follows from the same seed.
    const SeedSource source = seeds ? seeds : randomDeviceSeeds();
    SelectedGrouping selected = generateBestGrouping(state, source, warning, historyScoreTerms(shared));
    improveWithHistory(state, terms, selected.grouping, source());
    qsizetype at = selected.log.size();
    for (qsizetype i = 0; i < selected.log.size(); ++i) {
        if (selected.log.at(i).startsWith(u"已比较 "_s))
            at = i + 1;
    }
    selected.log.insert(at, terms.logLine(selected.grouping));
    return selected;
}

} // namespace Velmora
