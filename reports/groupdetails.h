#pragma once

#include "model.h"

#include <QString>

#include <optional>

namespace Velmora {

// The rich-text details of the group at `row` of the results table: a heading with the position
// number, the names, and a red warning for every requirement the whole grouping breaks. Nothing
// for a row outside the stored grouping or the currently enabled groups.
std::optional<QString> groupDetailsText(const ClassState &state, int row);

} // namespace Velmora
