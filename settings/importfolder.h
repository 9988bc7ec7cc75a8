#pragma once

#include <QString>

namespace Velmora {

// The folder the last class list came from, so that the next import opens there; kept with this
// computer's state (localstate.h), not in config.ini.
namespace ImportFolder {

// The remembered folder if it still exists, else the user's documents folder.
QString last(const QString &configPath);
// Remembers the folder of `chosenFile`. A state.ini that is not a small regular file is left alone.
void remember(const QString &configPath, const QString &chosenFile);

} // namespace ImportFolder
} // namespace Velmora
