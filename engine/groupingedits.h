#pragma once

#include "model.h"

#include <optional>

namespace Velmora {

// Hand adjustments of a stored plan. Each takes the plan by value and hands back the adjusted
// one, so that a caller can keep both sides for undo and the plan it holds stays untouched when
// an adjustment is refused. Nobody but the persons named changes seat.
namespace GroupingEdits {

// The two persons change seats. Nothing when either seat is empty or both are the same seat.
std::optional<SeatingPlan> swapPersons(SeatingPlan plan, SeatRef first, SeatRef second);

enum class MoveOutcome
{
    Moved,
    TargetFull,
    Invalid // an empty seat, a group outside the plan, or the person's own group
};

struct MoveResult
{
    MoveOutcome outcome = MoveOutcome::Invalid;
    SeatingPlan plan; // the adjusted plan when moved, else the one given
    SeatRef seat;     // the seat taken when moved
};

// The person leaves their seat, which stays empty, for the seat seatForNewcomer gives in group
// number `targetGroup`; a group with no such seat left is full.
MoveResult movePerson(SeatingPlan plan, SeatRef from, int targetGroup,
                      const QMap<PersonId, SeatRef> &fixedSeats);

} // namespace GroupingEdits
} // namespace Velmora
