#pragma once
// The draw of the local shuffle: a linear congruential generator that is never seeded, so
// the order of the tracks is the same after every program start.
#include <cstdint>

class TRandomDraw {
public:
    // A number from 0 to range - 1.
    std::uint32_t Draw(std::uint32_t range) {
        State = State * 134775813u + 1u;
        return static_cast<std::uint32_t>((static_cast<std::uint64_t>(State) * range) >> 32);
    }
    std::uint32_t State = 0;
};
