#pragma once

#include "generatereport.h"
#include "model.h"

#include <QStringList>

namespace Velmora {

// The plain log lines of a generate, written from its report: the chosen run's narration as the
// engine wrote it, the comparison, the balance of the scores, the history, then the changes of the search
// with their reasons, the leader check of the plan, what keeping requirements cost, and the requirements left
// unmet. Every group is named by the teacher's group number.
QStringList generateLogLines(const GenerateReport &report, const ClassState &state);

} // namespace Velmora
