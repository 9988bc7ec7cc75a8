#pragma once

#include "model.h"

class QTableWidget;

namespace Velmora {

// Fills a fixed-position table from state.fixedPositions, one row per entry in ascending PersonId
// order, and keeps each row's PersonId in its name item. A null table is ignored.
void fillFixedPositionTable(QTableWidget *table, const ClassState &state);

// The PersonId a row of such a table stands for; false when the row carries none.
bool fixedPositionPersonOfRow(const QTableWidget *table, int row, PersonId *person);

} // namespace Velmora
