#pragma once

#include <QtGlobal>

namespace Velmora {

// Windows lets only the process the user is working with bring a window to the front; any other
// merely flashes its taskbar button. A second start is that process, so it hands the right on
// before it asks the first window to come up.
#ifdef Q_OS_WIN
void allowForegroundHandover();
#else
inline void allowForegroundHandover() {}
#endif

} // namespace Velmora
