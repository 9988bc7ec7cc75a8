#include "seatingplan.h"

#include "model.h"

#include <algorithm>

namespace Velmora {

SeatingPlan SeatingPlan::emptyFor(const QList<GroupConfig> &configs)
{
    SeatingPlan plan;
    for (int index : enabledGroupIndices(configs)) {
        plan.numbers.append(index + 1);
        plan.seats.append(QList<PersonId>(qMax(0, configs.at(index).total), 0));
    }
    return plan;
}

SeatingPlan SeatingPlan::blank(int groups, int seatsPerGroup)
{
    SeatingPlan plan;
    for (int g = 0; g < groups; ++g) {
        plan.numbers.append(g + 1);
        plan.seats.append(QList<PersonId>(qMax(0, seatsPerGroup), 0));
    }
    return plan;
}

SeatingPlan SeatingPlan::fromSeats(const QList<int> &numbers, const Grouping &seats)
{
    SeatingPlan plan;
    plan.numbers = numbers;
    plan.seats = seats;
    plan.seats.resize(numbers.size());
    return plan;
}

SeatingPlan SeatingPlan::fromMembers(const Grouping &members, const QList<int> &numbers)
{
    SeatingPlan plan;
    for (int position = 0; position < members.size(); ++position) {
        plan.numbers.append(position < numbers.size() ? numbers.at(position) : position + 1);
        plan.seats.append(members.at(position));
    }
    return plan;
}

SeatingPlan SeatingPlan::fromMembers(const Grouping &members, const QList<GroupConfig> &configs)
{
    const QList<int> enabled = enabledGroupIndices(configs);
    QList<int> numbers;
    for (int index : enabled)
        numbers.append(index + 1);
    SeatingPlan plan = fromMembers(members, numbers);
    for (int position = 0; position < plan.groupCount() && position < enabled.size(); ++position) {
        QList<PersonId> &group = plan.seats[position];
        const int total = configs.at(enabled.at(position)).total;
        while (group.size() < total)
            group.append(0);
    }
    return plan;
}

bool SeatingPlan::holds(const SeatRef &seat) const
{
    const int position = positionOf(seat.group);
    return position >= 0 && seat.seat >= 1 && seat.seat <= seats.at(position).size();
}

PersonId SeatingPlan::occupant(const SeatRef &seat) const
{
    return holds(seat) ? seats.at(positionOf(seat.group)).at(seat.seat - 1) : 0;
}

void SeatingPlan::setOccupant(const SeatRef &seat, PersonId person)
{
    if (holds(seat))
        seats[positionOf(seat.group)][seat.seat - 1] = person;
}

SeatRef SeatingPlan::seatOf(PersonId person) const
{
    if (person == 0)
        return {};
    for (int position = 0; position < seats.size(); ++position) {
        const qsizetype index = seats.at(position).indexOf(person);
        if (index >= 0)
            return refAt(position, int(index));
    }
    return {};
}

QList<PersonId> SeatingPlan::membersAt(int position) const
{
    QList<PersonId> seated;
    for (PersonId p : seats.value(position)) {
        if (p != 0)
            seated.append(p);
    }
    return seated;
}

int SeatingPlan::seatedCount(int position) const
{
    const QList<PersonId> group = seats.value(position);
    return int(group.size() - std::count(group.cbegin(), group.cend(), 0));
}

Grouping SeatingPlan::members() const
{
    Grouping result;
    result.reserve(seats.size());
    for (int position = 0; position < seats.size(); ++position)
        result.append(membersAt(position));
    return result;
}

QMap<PersonId, SeatRef> acceptedFixedSeats(const ClassState &state)
{
    const FixedPositionMap &fixed = state.fixedPositions;
    QList<PersonId> order = fixed.keys();
    std::stable_sort(order.begin(), order.end(), [&fixed](PersonId a, PersonId b) {
        return fixed.value(a).first < fixed.value(b).first;
    });
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    QMap<PersonId, SeatRef> accepted;
    QList<SeatRef> taken;
    for (PersonId p : std::as_const(order)) {
        const SeatRef seat = SeatRef::fromFixed(fixed.value(p));
        if (p < 1 || p > people || seat.group < 1 || seat.group > state.groupConfigs.size())
            continue;
        const GroupConfig &config = state.groupConfigs.at(seat.group - 1);
        if (!config.enabled || seat.seat < 1 || seat.seat > config.total || taken.contains(seat))
            continue;
        taken.append(seat);
        accepted.insert(p, seat);
    }
    return accepted;
}

int seatForNewcomer(const SeatingPlan &plan, int position, const QMap<PersonId, SeatRef> &fixedSeats)
{
    if (position < 0 || position >= plan.groupCount())
        return -1;
    const QList<PersonId> &group = plan.seatsAt(position);
    for (int index = 0; index < group.size(); ++index) {
        if (group.at(index) != 0)
            continue;
        const SeatRef seat = plan.refAt(position, index);
        const bool reserved = std::any_of(fixedSeats.cbegin(), fixedSeats.cend(),
                                          [&seat](const SeatRef &fixed) { return fixed == seat; });
        if (!reserved)
            return index;
    }
    return -1;
}

SeatingPlan reseat(const SeatingPlan &start, const Grouping &members,
                   const QMap<PersonId, SeatRef> &fixedSeats)
{
    SeatingPlan plan = start;
    QMap<PersonId, int> after;
    for (int position = 0; position < members.size() && position < plan.groupCount(); ++position) {
        for (PersonId p : members.at(position))
            after.insert(p, position);
    }
    // Seats left behind, by group: the seat index and the group its occupant went to (-1: none).
    QList<QList<QPair<int, int>>> vacated(plan.groupCount());
    QMap<PersonId, int> before;
    for (int position = 0; position < plan.groupCount(); ++position) {
        QList<PersonId> &seats = plan.seatsAt(position);
        for (int index = 0; index < seats.size(); ++index) {
            const PersonId p = seats.at(index);
            if (p == 0)
                continue;
            before.insert(p, position);
            const int to = after.value(p, -1);
            if (to != position) {
                vacated[position].append({index, to});
                seats[index] = 0;
            }
        }
    }
    QList<PersonId> newcomers;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (before.value(it.key(), -1) != it.value())
            newcomers.append(it.key());
    }
    QList<PersonId> waiting;
    for (PersonId p : std::as_const(newcomers)) {
        const int to = after.value(p);
        const int from = before.value(p, -1);
        QList<QPair<int, int>> &left = vacated[to];
        const auto partner = std::find_if(
            left.begin(), left.end(), [from](const QPair<int, int> &seat) { return seat.second == from; });
        if (from >= 0 && partner != left.end() && plan.seatsAt(to).at(partner->first) == 0) {
            plan.seatsAt(to)[partner->first] = p;
            left.erase(partner);
        } else {
            waiting.append(p);
        }
    }
    for (PersonId p : std::as_const(waiting)) {
        const int to = after.value(p);
        int index = seatForNewcomer(plan, to, fixedSeats);
        if (index < 0)
            index = int(plan.seatsAt(to).indexOf(0));
        // More persons than seats cannot come from the search, which counts them; nobody is lost
        // all the same.
        if (index < 0) {
            plan.seatsAt(to).append(p);
            continue;
        }
        plan.seatsAt(to)[index] = p;
    }
    return plan;
}

} // namespace Velmora
