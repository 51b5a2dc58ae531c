// Weaving progressive frames into interlaced ones, and the luma error used by
// the demo's table.
#include "cli/FieldWeave.h"
#include "cli/LumaPsnr.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

Y4mHeader header420(int w, int h, int bits = 8) {
    Y4mHeader hd;
    hd.width = w;
    hd.height = h;
    hd.bitDepth = bits;
    hd.chroma = Y4mChroma::C420;
    hd.frameRate = "50:1";
    hd.frameRateNum = 50;
    hd.frameRateDen = 1;
    return hd;
}

} // namespace

TEST(FieldWeave, EvenRowsFromTheFirstFrameOddRowsFromTheSecond) {
    const Y4mFrameLayout layout(header420(6, 8));
    Y4mFrame a(layout), b(layout), out(layout);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < layout.height[p]; ++y)
            for (int x = 0; x < layout.width[p]; ++x) {
                a.row<uint8_t>(p, y)[x] = uint8_t(10 * p + y);
                b.row<uint8_t>(p, y)[x] = uint8_t(100 + 10 * p + y);
            }
    weaveFields(a, b, out);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < layout.height[p]; ++y)
            for (int x = 0; x < layout.width[p]; ++x)
                EXPECT_EQ(out.row<uint8_t>(p, y)[x], (y % 2 == 0 ? 0 : 100) + 10 * p + y) << p << " " << y;
}

TEST(FieldWeave, HeaderHalvesTheRateAndMarksUpperFirst) {
    Y4mHeader h = interlacedHeaderOf(header420(4, 4));
    EXPECT_EQ(h.interlace, Y4mInterlace::TopFirst);
    EXPECT_EQ(h.frameRate, "25:1");
    Y4mHeader ntsc = header420(4, 4);
    ntsc.frameRate = "60000:1001";
    ntsc.frameRateNum = 60000;
    ntsc.frameRateDen = 1001;
    EXPECT_EQ(interlacedHeaderOf(ntsc).frameRate, "30000:1001");
    Y4mHeader odd = header420(4, 4);
    odd.frameRate = "25:1";
    odd.frameRateNum = 25;
    EXPECT_EQ(interlacedHeaderOf(odd).frameRate, "25:2");
}

TEST(LumaError, PsnrFromTheMeanSquaredErrorOverAllFrames) {
    const Y4mFrameLayout layout(header420(4, 2));
    Y4mFrame a(layout), b(layout);
    LumaError none;
    none.add(a, b);
    EXPECT_TRUE(std::isinf(none.psnr(8)));
    EXPECT_TRUE(std::isnan(LumaError{}.psnr(8)));
    // Frame 1: one sample off by 8 (squared 64); frame 2: two off by 4 (32).
    // Mean over 16 samples: 96 / 16 = 6. Chroma differences do not count.
    b.row<uint8_t>(0, 1)[3] = 8;
    b.row<uint8_t>(1, 0)[0] = 200;
    LumaError e;
    e.add(a, b);
    b.row<uint8_t>(0, 1)[3] = 0;
    b.row<uint8_t>(0, 0)[0] = 4;
    b.row<uint8_t>(0, 0)[1] = 4;
    e.add(a, b);
    EXPECT_EQ(e.samples, 16);
    EXPECT_NEAR(e.psnr(8), 10 * std::log10(255.0 * 255.0 / 6.0), 1e-9);
}

TEST(LumaError, DeepFramesUseTheirPeak) {
    const Y4mFrameLayout layout(header420(2, 2, 10));
    Y4mFrame a(layout), b(layout);
    b.row<uint16_t>(0, 0)[0] = 1000;  // squared 10^6 over 4 samples
    LumaError e;
    e.add(a, b);
    EXPECT_NEAR(e.psnr(10), 10 * std::log10(1023.0 * 1023.0 / 250000.0), 1e-9);
}

TEST(LumaError, RegionCountsOnlyItsSamplesCutToThePicture) {
    const Y4mFrameLayout layout(header420(4, 4));
    Y4mFrame a(layout), b(layout);
    b.row<uint8_t>(0, 0)[0] = 10;  // outside the region below
    b.row<uint8_t>(0, 3)[3] = 6;   // inside: squared 36
    LumaError e;
    e.add(a, b, LumaRegion{2, 2, 9, 9});  // cut to 2..4 x 2..4: 4 samples
    EXPECT_EQ(e.samples, 4);
    EXPECT_EQ(e.squaredError, 36.0);
    LumaError empty;
    empty.add(a, b, LumaRegion{3, 3, 1, 1});
    EXPECT_EQ(empty.samples, 0);
}
