#include "drafts.h"

#include "classscores.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <vector>

namespace Velmora::Bench {

namespace {

// Deals `order` to the groups 1..n, then n..1, and so on: each person goes to the next group in
// that order where `take(person, position)` finds them a seat.
template <typename Take> void dealSnake(const std::vector<PersonId> &order, int groups, Take &&take)
{
    int position = 0;
    int step = 1;
    for (PersonId p : order) {
        for (int tries = 0; tries < 2 * groups; ++tries) {
            const int at = position;
            position += step;
            if (position == groups || position < 0) {
                step = -step;
                position += step;
            }
            if (take(p, at))
                break;
        }
    }
}

// Highest score first; the pupils without a score last, as they were.
void rankByScore(std::vector<PersonId> &order, const ClassScores &scores)
{
    std::stable_sort(order.begin(), order.end(),
                     [&](PersonId a, PersonId b) { return scores.scoreOf(a) > scores.scoreOf(b); });
}

} // namespace

SeatingPlan snakeDraft(const ClassState &state)
{
    const ClassScores scores(state);
    SeatingPlan plan = SeatingPlan::emptyFor(state.groupConfigs);
    const QMap<PersonId, SeatRef> fixed = acceptedFixedSeats(state);
    for (auto it = fixed.cbegin(); it != fixed.cend(); ++it)
        plan.setOccupant(it.value(), it.key());
    std::vector<PersonId> order;
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    for (int p = 1; p <= people; ++p) {
        if (!fixed.contains(p))
            order.push_back(p);
    }
    rankByScore(order, scores);
    dealSnake(order, plan.groupCount(), [&](PersonId p, int at) {
        const int seat = seatForNewcomer(plan, at, fixed);
        if (seat >= 0)
            plan.seatsAt(at)[seat] = p;
        return seat >= 0;
    });
    return plan;
}

SeatingPlan keptTalliesDraft(const ClassState &state, const SeatingPlan &plan)
{
    const ClassScores scores(state);
    const QMap<PersonId, SeatRef> fixed = acceptedFixedSeats(state);
    QSet<PersonId> stays(fixed.keyBegin(), fixed.keyEnd());
    for (const auto *list : {&state.mustTogether, &state.mustSeparate}) {
        for (const Constraint &c : *list)
            stays.unite(QSet<PersonId>(c.cbegin(), c.cend()));
    }
    const auto kindOf = [&](PersonId p) {
        return (state.roster.isBoy(p) ? 1 : 0) | (state.roster.isLeader(p) ? 2 : 0) |
               (state.roster.isBoarder(p) ? 4 : 0) | (scores.bandOf(p) + 1) * 8;
    };
    SeatingPlan draft = plan;
    std::vector<std::array<QList<int>, 32>> freed(std::size_t(draft.groupCount())); // seats, by kind
    std::vector<PersonId> order;
    for (int g = 0; g < draft.groupCount(); ++g) {
        QList<PersonId> &seats = draft.seatsAt(g);
        for (int s = 0; s < seats.size(); ++s) {
            const PersonId p = seats.at(s);
            if (p <= 0 || stays.contains(p))
                continue;
            freed[std::size_t(g)][std::size_t(kindOf(p))].append(s);
            order.push_back(p);
            seats[s] = 0;
        }
    }
    rankByScore(order, scores);
    dealSnake(order, draft.groupCount(), [&](PersonId p, int at) {
        QList<int> &seats = freed[std::size_t(at)][std::size_t(kindOf(p))];
        if (seats.isEmpty())
            return false;
        draft.seatsAt(at)[seats.takeFirst()] = p;
        return true;
    });
    return draft;
}

} // namespace Velmora::Bench
