#pragma once

#include "model.h"
#include "scoreterm.h"

namespace Velmora {

// The built-in tiers of the ordered score of a plan or of its members, as the generate judges
// them; for the tests and the benchmarks, which read them by OrderedScore::Tier.
OrderedScore scoreGrouping(const ClassState &state, const Grouping &members);
OrderedScore scoreGrouping(const ClassState &state, const SeatingPlan &plan);

} // namespace Velmora
