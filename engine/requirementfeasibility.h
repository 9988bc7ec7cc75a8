#pragma once

#include "model.h"

#include <QSet>
#include <QStringList>

namespace Velmora {

struct InfeasibleRequirements
{
    QStringList lines;
    // Indices into mustTogether and mustSeparate of the requirements named by a line.
    QSet<int> together;
    QSet<int> separate;
    bool tooManyTogether = false; // more must-together requirements than groups
};

InfeasibleRequirements checkFeasibility(const ClassState &state);

// The requirements that no grouping of this class can meet, one plain log line each, found
// before any run so that the teacher learns why the check will keep reporting them. Nothing is
// refused: the runs still go ahead.
QStringList findInfeasibleRequirements(const ClassState &state);

} // namespace Velmora
