#pragma once

#include "model.h"

#include <QStringList>

namespace Velmora {

// Bookkeeping of fixedPositions that does not need a widget.
namespace FixedPositions {

// The first person other than `except`, in ascending PersonId order, fixed to the seat; 0 when the
// seat is free.
PersonId occupantOf(const FixedPositionMap &positions, int group, int seat, PersonId except);

struct Remapped
{
    FixedPositionMap positions;
    QStringList droppedNames; // in ascending old PersonId order
};

// Moves every fixed position from its number in `before` to the number its person has in `after`.
// A person is the name together with its occurrence among equal names, so two students of the same
// name keep their own seats. Entries whose person is not in `after` are dropped.
Remapped followRoster(const FixedPositionMap &positions, const Roster &before, const Roster &after);

// The same for requirements: each member moves to its person's new number; a requirement that
// names a person who left is dropped whole.
QList<Constraint> followRoster(const QList<Constraint> &constraints, const Roster &before,
                               const Roster &after);

// Applies followRoster to the state, whose name lists must already be the new ones (the maps may
// still be the old), and returns the plain log lines for the dropped entries.
QStringList followRoster(ClassState &state, const Roster &before);

} // namespace FixedPositions
} // namespace Velmora
