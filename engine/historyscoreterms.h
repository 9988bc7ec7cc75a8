#pragma once

#include "historyterms.h"
#include "scoreterm.h"

#include <memory>

namespace Velmora {

// The history's three tiers as terms of the ordered score, in their order: pairs from the last
// round, earlier pairs by recency and frequency, pupils in last time's group number. Empty when
// the history is not active, so that the score is then exactly the one without history.
ScoreTerms historyScoreTerms(const std::shared_ptr<const HistoryTerms> &terms);

} // namespace Velmora
