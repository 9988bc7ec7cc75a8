#include "rulerepair.h"

#include "groupingscore.h"
#include "requirementfeasibility.h"
#include "requirementrules.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

// Every exchange lowers the score, so the search ends on its own; the bounds only cap the work
// on a large class with many requirements, in a way that does not depend on the machine, so
// that a seed still gives one result.
constexpr int MaxExchanges = 200;
constexpr int MaxScorings = 10000;

struct Seat
{
    int group;
    int index;
};

struct Exchange
{
    Seat a;
    Seat b;
};

class Repair
{
public:
    Repair(const ClassState &state, Grouping &grouping)
        : state(state), grouping(grouping), scorer(state), infeasible(checkFeasibility(state))
    {}

    QStringList run()
    {
        QStringList lines;
        GroupingScore current = scorer.score(grouping);
        for (int step = 0; step < MaxExchanges && current.brokenRequirements > 0; ++step) {
            QList<Exchange> chosen;
            GroupingScore best = current;
            const QList<Exchange> firsts = candidateExchanges();
            for (const Exchange &first : firsts) {
                if (scorings >= MaxScorings)
                    break;
                const GroupingScore score = scoreWith(first);
                if (score < best) {
                    best = score;
                    chosen = {first};
                }
            }
            // A member often cannot join the others because every fitting partner there belongs
            // to another requirement; moving that one on as well gets past such a plateau.
            if (chosen.isEmpty()) {
                for (const Exchange &first : firsts) {
                    if (scorings >= MaxScorings)
                        break;
                    ++scorings;
                    apply(first);
                    if (scorer.score(grouping).brokenRequirements == current.brokenRequirements) {
                        for (const Exchange &second : candidateExchanges()) {
                            if (scorings >= MaxScorings)
                                break;
                            const GroupingScore score = scoreWith(second);
                            if (score < best) {
                                best = score;
                                chosen = {first, second};
                            }
                        }
                    }
                    apply(first);
                }
            }
            if (chosen.isEmpty())
                break;
            for (const Exchange &exchange : chosen) {
                lines.append(u"调整: %1 与 %2 交换，以满足要求"_s.arg(
                    state.roster.nameOf(personAt(exchange.a)), state.roster.nameOf(personAt(exchange.b))));
                apply(exchange);
            }
            current = best;
        }
        for (const RequirementRules::Breach &breach : scorer.breaches(grouping))
            lines.append(u"无法满足的要求: "_s + RequirementRules::breachNames(breach, state));
        return lines;
    }

private:
    bool movable(PersonId p) const { return p > 0 && !state.fixedPositions.contains(p); }

    int leadersIn(int group) const
    {
        int count = 0;
        for (int p : grouping.at(group))
            count += scorer.isLeader(p);
        return count;
    }

    bool exchangeAllowed(const Seat &a, const Seat &b) const
    {
        const int pa = grouping.at(a.group).at(a.index);
        const int pb = grouping.at(b.group).at(b.index);
        if (!movable(pb) || state.roster.isBoy(pa) != state.roster.isBoy(pb))
            return false;
        const bool leaderA = scorer.isLeader(pa);
        const bool leaderB = scorer.isLeader(pb);
        if (leaderA == leaderB)
            return true;
        // A leader traded for a non-leader must leave another leader behind.
        return leadersIn(leaderA ? a.group : b.group) >= 2;
    }

    int personAt(const Seat &seat) const { return grouping.at(seat.group).at(seat.index); }

    // An exchange is its own inverse.
    void apply(const Exchange &exchange)
    {
        std::swap(grouping[exchange.a.group][exchange.a.index], grouping[exchange.b.group][exchange.b.index]);
    }

    GroupingScore scoreWith(const Exchange &exchange)
    {
        ++scorings;
        apply(exchange);
        const GroupingScore score = scorer.score(grouping);
        apply(exchange);
        return score;
    }

    QList<Exchange> candidateExchanges() const
    {
        QList<Exchange> exchanges;
        for (const Seat &a : seatsOfBrokenMembers()) {
            if (!movable(personAt(a)))
                continue;
            for (int g = 0; g < grouping.size(); ++g) {
                if (g == a.group)
                    continue;
                for (int i = 0; i < grouping.at(g).size(); ++i) {
                    if (exchangeAllowed(a, {g, i}))
                        exchanges.append({a, {g, i}});
                }
            }
        }
        return exchanges;
    }

    bool fixable(const RequirementRules::Breach &breach) const
    {
        using Kind = RequirementRules::Breach::Kind;
        switch (breach.kind) {
        case Kind::MustTogetherSplit:
            return !infeasible.together.contains(breach.first);
        case Kind::MustTogetherShared:
            return !infeasible.tooManyTogether && !infeasible.together.contains(breach.first) &&
                   !infeasible.together.contains(breach.second);
        case Kind::MustSeparateJoined:
            return !infeasible.separate.contains(breach.first);
        }
        return false;
    }

    // Only exchanges that move a person of a broken requirement can mend it. Requirements known
    // to be impossible are left alone, so that no time goes into them.
    QList<Seat> seatsOfBrokenMembers() const
    {
        using RequirementRules::Breach;
        QSet<int> persons;
        for (const Breach &breach : scorer.breaches(grouping)) {
            if (!fixable(breach))
                continue;
            if (breach.kind == Breach::Kind::MustSeparateJoined) {
                for (int p : state.mustSeparate.at(breach.first))
                    persons.insert(p);
                continue;
            }
            for (int p : state.mustTogether.at(breach.first))
                persons.insert(p);
            if (breach.second >= 0) {
                for (int p : state.mustTogether.at(breach.second))
                    persons.insert(p);
            }
        }
        QList<Seat> seats;
        for (int g = 0; g < grouping.size(); ++g) {
            for (int i = 0; i < grouping.at(g).size(); ++i) {
                if (persons.contains(grouping.at(g).at(i)))
                    seats.append({g, i});
            }
        }
        return seats;
    }

    const ClassState &state;
    Grouping &grouping;
    const GroupingScorer scorer;
    const InfeasibleRequirements infeasible;
    int scorings = 0;
};

} // namespace

QStringList repairGrouping(const ClassState &state, Grouping &grouping)
{
    return Repair(state, grouping).run();
}

} // namespace Velmora
