#include "backendlauncher.h"

#ifdef VELMORA_HAVE_AUTOMATION
#include "comlauncher.h"
#endif

namespace Velmora {

BackendLauncher::~BackendLauncher() = default;

std::unique_ptr<BackendLauncher> BackendLauncher::createForPlatform()
{
#ifdef VELMORA_HAVE_AUTOMATION
    return std::make_unique<ComLauncher>();
#else
    return nullptr;
#endif
}

} // namespace Velmora
