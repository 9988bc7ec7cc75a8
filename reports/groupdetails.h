#pragma once

#include "model.h"

#include <QString>

#include <optional>

namespace Velmora {

// The rich-text details of the group at `row` of the results table: a heading with the position
// number, the names, with "按成绩均衡分组" the group's mean and its pupils per score band, and a red
// warning for every requirement the whole grouping breaks. Nothing for a row outside the stored
// grouping or the currently enabled groups.
std::optional<QString> groupDetailsText(const ClassState &state, int row);

} // namespace Velmora
