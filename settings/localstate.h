#pragma once

#include <QString>

namespace Velmora {

// What belongs to this computer rather than to the class (the window's size, the folder of the
// last import) lives in state.ini beside config.ini. config.ini travels between PCs on a USB
// stick; a window size or a folder path of another PC must not travel with it.
namespace LocalState {

QString path(const QString &configPath);
// Missing, or a small regular file. Anything else (a folder in its place, something huge that the
// program never wrote) is neither read nor overwritten.
bool isUsable(const QString &path);

} // namespace LocalState
} // namespace Velmora
