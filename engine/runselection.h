#pragma once

#include "groupingengine.h"
#include "model.h"
#include "scoreterm.h"
#include "seedsource.h"

#include <QStringList>

namespace Velmora {

// The runs only give the search a good start, so a few of them are enough.
constexpr int DefaultRuns = 30;

struct SelectedGrouping
{
    Grouping grouping;
    // The plain log lines of the whole generate, in order: the requirements that cannot be met,
    // the narration of the chosen run, the comparison line, then the repair.
    QStringList log;
    int runs = 0;
};

// Runs the pipeline up to `maxRuns` times, each run seeded with its own value from `seeds`, and
// keeps the run whose grouping scores best; a run that no grouping could beat ends the search.
// A repair then mends what the chosen run still breaks. Only the chosen run's narration is
// kept, so the log reads as if that run had been the only one. The same seeds give the same
// choice and the same log.
SelectedGrouping generateBestGrouping(const ClassState &state, const SeedSource &seeds,
                                      const GroupingEngine::WarningSink &warning, int maxRuns = DefaultRuns);

// The same, judged by the built-in terms followed by `extraTerms`, which rank below every
// built-in term in the order given. Each extra term is asked for its cost of the runs' groupings
// and is then optimised by the search like the built-in ones.
SelectedGrouping generateBestGrouping(const ClassState &state, const SeedSource &seeds,
                                      const GroupingEngine::WarningSink &warning,
                                      const ScoreTerms &extraTerms, int maxRuns = DefaultRuns);

} // namespace Velmora
