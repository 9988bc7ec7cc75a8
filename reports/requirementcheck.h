#pragma once

#include "model.h"

#include <QStringList>

namespace Velmora {

struct RequirementCheckResult
{
    // Plain log lines, from "开始检查要求..." to the closing verdict.
    QStringList lines;
    bool allSatisfied = true;
};

// Checks the stored grouping against both requirement lists: every must-together requirement in
// one group, no two must-together requirements in the same group, no two members of a
// must-separate requirement together.
RequirementCheckResult checkRequirements(const ClassState &state);

} // namespace Velmora
