#pragma once

#include "model.h"
#include "persongroupmap.h"

namespace Velmora {

// The judgements shared by the group details and the requirement check, so that both always
// agree about what is broken.
namespace RequirementRules {

// Broken when the members are spread over more than one group, or when any member holds no seat.
// A requirement without members asks for nothing.
bool mustTogetherBroken(const Constraint &constraint, const PersonGroupMap &map);

// Broken as soon as two seated members share a group. Unseated members sit nowhere, so they
// never break it.
bool mustSeparateBroken(const Constraint &constraint, const PersonGroupMap &map);

// The position a must-together requirement is located at: that of its first member, or -1 when
// it has none or the first member holds no seat.
int mustTogetherPosition(const Constraint &constraint, const PersonGroupMap &map);

// How many requirements of both lists are broken, judged as above.
int brokenCount(const QList<Constraint> &mustTogether, const QList<Constraint> &mustSeparate,
                const PersonGroupMap &map);

} // namespace RequirementRules
} // namespace Velmora
