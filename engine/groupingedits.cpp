#include "groupingedits.h"

#include <utility>

namespace Velmora::GroupingEdits {

std::optional<SeatingPlan> swapPersons(SeatingPlan plan, SeatRef first, SeatRef second)
{
    const PersonId a = plan.occupant(first);
    const PersonId b = plan.occupant(second);
    if (a == 0 || b == 0 || first == second)
        return std::nullopt;
    plan.setOccupant(first, b);
    plan.setOccupant(second, a);
    return plan;
}

MoveResult movePerson(SeatingPlan plan, SeatRef from, int targetGroup,
                      const QMap<PersonId, SeatRef> &fixedSeats)
{
    const PersonId person = plan.occupant(from);
    const int target = plan.positionOf(targetGroup);
    if (person == 0 || target < 0 || targetGroup == from.group)
        return {MoveOutcome::Invalid, std::move(plan), {}};
    const int index = seatForNewcomer(plan, target, fixedSeats);
    if (index < 0)
        return {MoveOutcome::TargetFull, std::move(plan), {}};
    const SeatRef seat = plan.refAt(target, index);
    plan.setOccupant(from, 0);
    plan.setOccupant(seat, person);
    return {MoveOutcome::Moved, std::move(plan), seat};
}

} // namespace Velmora::GroupingEdits
