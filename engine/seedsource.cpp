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

FreshMt19937::result_type FreshMt19937::operator()()
{
    if (drawn >= Size - Shift) {
        if (!rest) {
            rest = std::make_unique<std::mt19937>(words[0]);
            rest->discard(static_cast<unsigned long long>(drawn));
        }
        ++drawn;
        return result_type((*rest)());
    }
    // Output k comes from words k, k + 1 and k + 397 of the seeded state, none of them replaced yet.
    while (filled <= drawn + Shift) {
        const result_type previous = words[std::size_t(filled - 1)];
        words[std::size_t(filled)] = 1812433253u * (previous ^ (previous >> 30)) + result_type(filled);
        ++filled;
    }
    const std::size_t k = std::size_t(drawn++);
    const result_type y = (words[k] & 0x80000000u) | (words[k + 1] & 0x7fffffffu);
    result_type v = words[k + Shift] ^ (y >> 1) ^ ((y & 1u) ? 0x9908b0dfu : 0u);
    v ^= v >> 11;
    v ^= (v << 7) & 0x9d2c5680u;
    v ^= (v << 15) & 0xefc60000u;
    v ^= v >> 18;
    return v;
}

} // namespace Velmora
