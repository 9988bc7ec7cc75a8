#include "settingssave.h"

#include "configstore.h"
#include "fixedpositions.h"

namespace Velmora {

SavedSettings saveSettings(ClassState &state, const Roster &previous, const QString &customPath)
{
    SavedSettings saved;
    const bool rosterWritten = ConfigStore::saveRosterAndStyle(state, customPath);
    // Following the names needs only the two name lists, so the file gets the new numbers before
    // the maps are rebuilt; written later, it would pair old numbers with the new roster.
    saved.droppedFixedPositions = FixedPositions::followRoster(state, previous);
    const bool groupsWritten = ConfigStore::saveGroupConfiguration(state);
    saved.written = rosterWritten && groupsWritten;
    saved.mappingLine = ConfigStore::rebuildNameMaps(state);
    return saved;
}

} // namespace Velmora
