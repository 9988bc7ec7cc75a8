#pragma once

#include "grouphistory.h"
#include "runselection.h"

namespace Velmora {

// The generate with the saved rounds: the history's tiers join the ordered score after every
// built-in one, so the runs' choice and the search weigh them only among groupings that keep
// the rules equally well; then the line "已参考 …" follows the comparison line. Without an
// active history this is generateBestGrouping exactly.
SelectedGrouping generateWithHistory(const ClassState &state, const SeedSource &seeds,
                                     const GroupingEngine::WarningSink &warning, const GroupHistory &history);

} // namespace Velmora
