#pragma once

#include "model.h"
#include "scoreterm.h"

#include <QStringList>

namespace Velmora {

// What is wrong with a generated plan: a group or seat count that is not the class's, a person
// seated twice or unknown, a person of an accepted fixed seat seated elsewhere. One line each;
// empty when nothing is.
QStringList planProblems(const ClassState &state, const SeatingPlan &plan);

// What the log lines after the comparison line say that the plan does not bear out: a group
// number the plan does not have, an exchange whose undoing would not worsen the named tier of
// `terms` first, a move, a leader count, a cost, group means or score bands that are not the plan's,
// a count of unmet requirements that is not the plan's, or a line of no known kind.
QStringList logProblems(const ClassState &state, const SeatingPlan &plan, const QStringList &log,
                        const ScoreTerms &terms);

} // namespace Velmora
