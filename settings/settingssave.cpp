#include "settingssave.h"

#include "configstore.h"
#include "fixedpositions.h"

using namespace Qt::StringLiterals;

namespace Velmora {

SavedSettings saveSettings(ClassState &state, const Roster &previous, const QString &customPath)
{
    SavedSettings saved;
    // Following the names needs only the two name lists, so the file gets the new numbers before
    // the maps are rebuilt. Everything goes out in one write: a file holding the new roster with
    // the old numbers would pin one pupil's seat to another.
    saved.droppedFixedPositions = FixedPositions::followRoster(state, previous);
    const qsizetype before = state.mustTogether.size() + state.mustSeparate.size();
    state.mustTogether = FixedPositions::followRoster(state.mustTogether, previous, state.roster);
    state.mustSeparate = FixedPositions::followRoster(state.mustSeparate, previous, state.roster);
    if (const qsizetype dropped = before - state.mustTogether.size() - state.mustSeparate.size())
        saved.droppedRequirements = u"已删除 %1 条要求：其中有人已不在名单中"_s.arg(dropped);
    saved.written = ConfigStore::saveSettings(state, customPath);
    saved.mappingLine = ConfigStore::rebuildNameMaps(state);
    return saved;
}

} // namespace Velmora
