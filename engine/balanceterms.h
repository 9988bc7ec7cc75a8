#pragma once

#include "model.h"
#include "scoreterm.h"

namespace Velmora {

// The two tiers of "按成绩均衡分组", in their order: the (group, band) pairs where a group of three
// or more seats has no pupil of that band, then the gap between the highest and the lowest group
// mean. Both cost nothing, always, unless the groups are balanced by scores.
ScoreTerms scoreBalanceTerms(const ClassState &state);

// The gap term's cost for the group means sum/count (count 0: no mean): the highest minus the
// lowest mean in hundredths, times `scale`, rounded down. Exact in 64 bits for sums up to 10^9,
// counts up to 1,000 and a scale up to 10^12.
qint64 gapCost(const qint64 *sums, const int *counts, int groups, qint64 scale);

} // namespace Velmora
