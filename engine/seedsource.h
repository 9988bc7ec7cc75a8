#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>

namespace Velmora {

// Hands out the seeds of the grouping engine's random engines, one value per call.
using SeedSource = std::function<std::uint32_t()>;

// One shared std::random_device: every run differs.
SeedSource randomDeviceSeeds();

// A std::mt19937 seeded with `seed`, handing out its successive values, so that a run can be
// reproduced exactly.
SeedSource seedSequence(std::uint32_t seed);

// The outputs of a std::mt19937 seeded with `seed`, exactly, but worked out only as far as they are
// drawn. The library's engine fills and twists all 624 words before its first output; a caller
// that seeds an engine for a single choice pays for all of that every time.
class FreshMt19937
{
public:
    using result_type = std::uint32_t;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return 0xffffffffu; }

    explicit FreshMt19937(result_type seed) { words[0] = seed; }
    result_type operator()();

private:
    static constexpr int Size = 624;
    static constexpr int Shift = 397;

    std::array<result_type, Size> words{};
    int filled = 1;
    int drawn = 0;
    // Past the outputs the first twist gives without the words it replaces: the library's own.
    std::unique_ptr<std::mt19937> rest;
};

} // namespace Velmora
