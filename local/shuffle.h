#pragma once
// The draw of the local shuffle: a linear congruential generator that is never seeded, so
// the order of the tracks is the same after every program start.
#include <cstdint>

class TRandomDraw {
public:
    // A number from 0 to range - 1: the state steps to (state * 134775813 + 1) mod 2^32 and
    // the result is the upper half of the 64-bit product of the new state and the range.
    std::uint32_t Draw(std::uint32_t range) {
        State = State * 134775813u + 1u;
        return static_cast<std::uint32_t>((static_cast<std::uint64_t>(State) * range) >> 32);
    }
    // The next queue row of a grid of rowCount rows: draws until the draw is not the header
    // row 0. The generator runs through every state, so this ends; with fewer than 2 rows
    // there is no queue row and nothing is drawn (0).
    std::uint32_t DrawRow(std::uint32_t rowCount) {
        if (rowCount < 2) return 0;
        std::uint32_t row;
        do row = Draw(rowCount); while (row == 0);
        return row;
    }
    std::uint32_t State = 0;
};
