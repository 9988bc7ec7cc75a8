#pragma once

#include <cstdint>
#include <functional>

namespace Velmora {

// Hands out the seeds of the grouping engine's random engines, one value per call.
using SeedSource = std::function<std::uint32_t()>;

// One shared std::random_device: every run differs.
SeedSource randomDeviceSeeds();

// A std::mt19937 seeded with `seed`, handing out its successive values, so that a run can be
// reproduced exactly.
SeedSource seedSequence(std::uint32_t seed);

} // namespace Velmora
