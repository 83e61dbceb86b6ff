#include "local/shuffle.h"

#include <gtest/gtest.h>

#include <vector>

TEST(RandomDraw, SequenceFromTheInitialStateIsFixed) {
    TRandomDraw draw;
    std::vector<std::uint32_t> got;
    for (int i = 0; i < 6; ++i) got.push_back(draw.Draw(10));
    EXPECT_EQ(got, (std::vector<std::uint32_t>{0, 0, 8, 2, 2, 6}));
}

TEST(RandomDraw, QueueRowSkipsTheHeaderRow) {
    TRandomDraw draw;
    EXPECT_EQ(draw.DrawRow(10), 8u);  // 0 and 0 are passed over
    EXPECT_EQ(draw.DrawRow(10), 2u);

    TRandomDraw two;
    for (int i = 0; i < 50; ++i) EXPECT_EQ(two.DrawRow(2), 1u);

    TRandomDraw none;
    EXPECT_EQ(none.DrawRow(1), 0u);
    EXPECT_EQ(none.State, 0u);
}
