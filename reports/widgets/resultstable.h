#pragma once

#include "model.h"

class QTableWidget;

namespace Velmora {

// Rebuilds the results table from the stored grouping: one row per enabled group labelled with
// its group number, names coloured by gender, leaders bold, boarders on yellow; with
// "按成绩均衡分组" a last column "平均分" holds each group's mean.
void refreshResultsTable(QTableWidget *table, const ClassState &state);

// The table of a new, blank chart: rows "组 1" to "组 <groups>" with six empty member cells each.
void showBlankResultsTable(QTableWidget *table, int groups);

} // namespace Velmora
