#pragma once

#include "model.h"

#include <QStringList>

namespace Velmora {

// Lowers the broken requirements of a finished grouping by exchanging two persons of one gender
// between groups, so that every group keeps its boys and girls and its size. Fixed persons never
// move, and a leader moves only when the group keeps another leader or receives one. Each
// exchange is logged ("调整: ..."); requirements still broken at the end are named, one line
// each ("无法满足的要求: ...").
QStringList repairGrouping(const ClassState &state, Grouping &grouping);

} // namespace Velmora
