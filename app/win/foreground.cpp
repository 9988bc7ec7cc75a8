#include "foreground.h"

#include <windows.h>

namespace Velmora {

void allowForegroundHandover()
{
    AllowSetForegroundWindow(ASFW_ANY);
}

} // namespace Velmora
