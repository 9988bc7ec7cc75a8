#pragma once

#include <QString>

namespace Velmora {

// The folder the last class list came from, so that the next import opens there. It is kept in
// state.ini beside config.ini, not in config.ini: it describes this computer rather than the class,
// and a folder carried on a USB stick to another PC must not bring that PC's paths along.
namespace ImportFolder {

QString stateFilePath(const QString &configPath);
// The remembered folder if it still exists, else the user's documents folder.
QString last(const QString &configPath);
// Remembers the folder of `chosenFile`. A state.ini that is not a small regular file is left alone.
void remember(const QString &configPath, const QString &chosenFile);

} // namespace ImportFolder
} // namespace Velmora
