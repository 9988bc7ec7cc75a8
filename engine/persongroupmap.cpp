#include "persongroupmap.h"

namespace Velmora {

PersonGroupMap buildPersonGroupMap(const Grouping &grouping)
{
    PersonGroupMap map;
    for (int position = 0; position < grouping.size(); ++position) {
        for (int person : grouping.at(position))
            map.insert(person, position);
    }
    return map;
}

int groupPositionOf(const PersonGroupMap &map, PersonId person)
{
    return map.value(person, -1);
}

} // namespace Velmora
