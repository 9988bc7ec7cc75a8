#pragma once

#include "grouphistory.h"
#include "historyterms.h"
#include "model.h"
#include "runselection.h"

#include <cstdint>

namespace Velmora {

// Lowers the history's terms of a finished grouping by exchanging two persons of different groups
// or moving one to a free seat, never making the rules' score worse: the history ranks after
// every rule. Fixed persons stay where they are. The work is bounded by a count of sweeps over
// all candidates, and the candidates are tried in an order drawn from `seed`, so the same seed
// and the same history give the same result.
void improveWithHistory(const ClassState &state, const HistoryTerms &terms, Grouping &grouping,
                        std::uint32_t seed);

// The generate with the saved rounds: the runs and their choice as without a history, then the
// improvement above with one more seed of `seeds`, and the line "已参考 …" right after the
// comparison line. Without an active history this is generateBestGrouping exactly.
SelectedGrouping generateWithHistory(const ClassState &state, const SeedSource &seeds,
                                     const GroupingEngine::WarningSink &warning, const GroupHistory &history);

} // namespace Velmora
