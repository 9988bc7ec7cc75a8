#pragma once

#include "generatereport.h"
#include "grouphistory.h"
#include "model.h"
#include "scoreterm.h"
#include "seedsource.h"

#include <atomic>

namespace Velmora {

// The runs only give the search a good start, so a few of them are enough.
constexpr int DefaultRuns = 30;

struct GenerateOptions
{
    // The saved rounds; their terms join the score after every built-in one when the teacher
    // lets the history take part.
    const GroupHistory *history = nullptr;
    // Raised from another thread to end the work early with the best plan found so far.
    const std::atomic_bool *stop = nullptr;
    int maxRuns = DefaultRuns;
    // Terms ranked below every built-in and history term, in the order given.
    ScoreTerms extraTerms;
};

// Runs the engine up to `maxRuns` times, each run seeded with its own value from `seeds`, and
// keeps the run whose plan scores best; a run that no plan could beat ends the comparison. A
// search then mends what the chosen run still breaks, changes that gain nothing are undone, and
// the exact requirement check proves what stays broken. Only the chosen run's narration is kept,
// so the log reads as if that run had been the only one. The same seeds give the same report.
GenerateReport generatePlan(const ClassState &state, const SeedSource &seeds,
                            const GenerateOptions &options = {});

} // namespace Velmora
