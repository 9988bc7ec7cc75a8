#include "groupingscore.h"

namespace Velmora {

OrderedScore scoreGrouping(const ClassState &state, const Grouping &members)
{
    return scoreOf(builtInTerms(state), GroupingView(members, personTraits(state)));
}

OrderedScore scoreGrouping(const ClassState &state, const SeatingPlan &plan)
{
    return scoreGrouping(state, plan.members());
}

} // namespace Velmora
