#pragma once

#include "model.h"

class QTableWidget;

namespace Velmora {

// Rebuilds the results table from the stored grouping: one row per enabled group labelled with
// its group number, names coloured by gender, leaders bold, boarders on yellow.
void refreshResultsTable(QTableWidget *table, const ClassState &state);

// The table of a new, blank chart: rows "组 1" to "组 <groups>" with six empty member cells each.
void showBlankResultsTable(QTableWidget *table, int groups);

} // namespace Velmora
