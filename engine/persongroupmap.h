#pragma once

#include "model.h"

#include <QMap>

namespace Velmora {

// PersonId -> 0-based position in a Grouping. Only seated persons have an entry.
using PersonGroupMap = QMap<int, int>;

// A person listed twice keeps the later position.
PersonGroupMap buildPersonGroupMap(const Grouping &grouping);

// The position of a person, or -1 when the person holds no seat. Never inserts: an unseated
// person must not come to look like a member of the first group.
int groupPositionOf(const PersonGroupMap &map, PersonId person);

} // namespace Velmora
