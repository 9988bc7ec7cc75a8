#pragma once

#include "model.h"
#include "requirements.h"

class QTableWidget;

namespace Velmora {

// The requirement panel's table operations behind addConstraint and removeConstraint.
namespace RequirementTable {

// Rebuilds the table from both requirement lists, must-together first.
void fill(QTableWidget *table, const ClassState &state);

// Appends the row of a new entry at the bottom, whatever its kind.
void appendRow(QTableWidget *table, Requirements::Kind kind, const Constraint &entry, const Roster &roster);

// Removes the selected rows and their entries, bottom row first. Returns false, changing nothing,
// when no row is selected.
bool removeSelected(QTableWidget *table, ClassState &state);

} // namespace RequirementTable
} // namespace Velmora
