#include "groupingedits.h"

#include <utility>

namespace Velmora::GroupingEdits {

bool holdsPerson(const Grouping &grouping, Seat seat)
{
    return seat.group >= 0 && seat.group < grouping.size() && seat.index >= 0 &&
           seat.index < grouping.at(seat.group).size();
}

std::optional<Grouping> swapPersons(Grouping grouping, Seat first, Seat second)
{
    if (!holdsPerson(grouping, first) || !holdsPerson(grouping, second) ||
        (first.group == second.group && first.index == second.index))
        return std::nullopt;
    std::swap(grouping[first.group][first.index], grouping[second.group][second.index]);
    return grouping;
}

MoveResult movePerson(Grouping grouping, Seat from, int target, int capacity)
{
    if (!holdsPerson(grouping, from) || target < 0 || target >= grouping.size() || target == from.group)
        return {MoveOutcome::Invalid, std::move(grouping)};
    if (grouping.at(target).size() >= capacity)
        return {MoveOutcome::TargetFull, std::move(grouping)};
    const int person = grouping[from.group].takeAt(from.index);
    grouping[target].append(person);
    return {MoveOutcome::Moved, std::move(grouping)};
}

} // namespace Velmora::GroupingEdits
