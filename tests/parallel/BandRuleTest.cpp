#include "parallel/JobBinding.h"

#include <gtest/gtest.h>

#include <vector>

// Bands tile the rows without gap or overlap and differ by at most one row,
// for any row and band count, including fewer rows than bands.
TEST(BandRule, TilesRowsWithoutGapOrOverlap) {
    for (int32_t top : {0, -7, 5}) {
        for (int32_t rows = 0; rows <= 40; ++rows) {
            for (int32_t count = 1; count <= 9; ++count) {
                int32_t expectedBegin = top;
                int32_t smallest = rows, largest = 0;
                for (int32_t index = 0; index < count; ++index) {
                    const BandRange band = bandRows(index, count, top, top + rows);
                    ASSERT_EQ(band.begin, expectedBegin);
                    ASSERT_GE(band.end, band.begin);
                    smallest = std::min(smallest, band.end - band.begin);
                    largest = std::max(largest, band.end - band.begin);
                    expectedBegin = band.end;
                }
                EXPECT_EQ(expectedBegin, top + rows);
                EXPECT_LE(largest - smallest, 1);
            }
        }
    }
}

// Three rows in eight bands: bands 2, 5 and 7 get one each.
TEST(BandRule, ThreeRowsInEightBandsFillBandsTwoFiveAndSeven) {
    std::vector<int32_t> ends;
    for (int32_t index = 0; index < 8; ++index)
        ends.push_back(bandRows(index, 8, 0, 3).end);
    EXPECT_EQ(ends, (std::vector<int32_t>{0, 0, 1, 1, 1, 2, 2, 3}));
}
