#pragma once

#include "model.h"

#include <QString>
#include <QStringList>

namespace Velmora {

struct SavedSettings
{
    bool written = false;              // false when config.ini could not be written
    QString mappingLine;               // the plain line of the renumbering
    QStringList droppedFixedPositions; // plain lines, one per fixed position whose person left
    QString droppedRequirements;       // the plain line counting the requirements whose person left
};

// What "保存" of the settings dialog does once the tabs are taken over into `state`: moves the fixed
// positions and the requirements to their persons' new numbers, writes roster, style, groups, fixed
// positions and requirements in one atomic write, then renumbers. The requirements in `state` are
// then exactly those of the file.
// `previous` is the roster before the tabs were taken over. The caller resets the window.
SavedSettings saveSettings(ClassState &state, const Roster &previous, const QString &customPath);

} // namespace Velmora
