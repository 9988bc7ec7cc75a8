#include "seedsource.h"

#include <memory>
#include <random>

namespace Velmora {

SeedSource randomDeviceSeeds()
{
    // std::function needs a copyable target; the device itself is not copyable.
    auto device = std::make_shared<std::random_device>();
    return [device]() { return std::uint32_t((*device)()); };
}

SeedSource seedSequence(std::uint32_t seed)
{
    auto engine = std::make_shared<std::mt19937>(seed);
    return [engine]() { return std::uint32_t((*engine)()); };
}

} // namespace Velmora
