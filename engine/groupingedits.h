#pragma once

#include "model.h"

#include <optional>

namespace Velmora {

// Hand adjustments of a stored grouping. Each takes the grouping by value and hands back the
// adjusted one, so that a caller can keep both sides for undo and the grouping it holds stays
// untouched when an adjustment is refused.
namespace GroupingEdits {

// A seated person: position in the grouping and index in that group's list, both 0-based.
struct Seat
{
    int group = -1;
    int index = -1;
};

bool holdsPerson(const Grouping &grouping, Seat seat);

// The two persons change places. Nothing when either seat is empty or both are the same seat.
std::optional<Grouping> swapPersons(Grouping grouping, Seat first, Seat second);

enum class MoveOutcome
{
    Moved,
    TargetFull,
    Invalid // an empty seat, a position outside the grouping, or the person's own group
};

struct MoveResult
{
    MoveOutcome outcome = MoveOutcome::Invalid;
    Grouping grouping; // the adjusted grouping when moved, else the one given
};

// The person leaves their seat and takes the end of the group at `target`, provided that group
// holds fewer than `capacity` persons.
MoveResult movePerson(Grouping grouping, Seat from, int target, int capacity);

} // namespace GroupingEdits
} // namespace Velmora
