#pragma once

#include <functional>

namespace Velmora {

class MainWindow;
class WidgetDialogs;

// The program from the folder's lock to the end of its event loop, as main() runs it; returns the
// exit code. `dialogs` (may be null) gets the window as the parent of its boxes; `shown` runs once
// the window is on the screen.
int runProgram(WidgetDialogs *dialogs, const std::function<void(MainWindow &)> &shown = {});

} // namespace Velmora
