// The field kernel's rules: ties between differently coloured pixels and the
// ends of each depth's range worked by hand, and everything else against the
// brute-force definition on frames of every size.
#include "deinterlace/DeinterlaceFields.h"
#include "deinterlace/FieldMedianKernel.h"
#include "FieldTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

using namespace fieldtest;

namespace {

template <class T>
using Row = std::vector<Px<T>>;

// Runs the kernel on a frame of three rows (kept rows 0 and 2, rebuilt row 1)
// and returns row 1.
template <class Pixel, class Order, class T = typename Pixel::Type>
Row<T> rebuildBetween(const Row<T>& above, const Row<T>& below) {
    const int32_t width = int32_t(above.size());
    Frame<T> frame(width, 3);
    for (int32_t x = 0; x < width; ++x) {
        frame.set(x, 0, above[size_t(x)]);
        frame.set(x, 2, below[size_t(x)]);
    }
    TestHost test(&frame.world, false);
    DeinterlaceFields<Pixel, Order>(*test.host, ViewRect{0, 0, width, 3}, frame.world, frame.world, 1);
    Row<T> out;
    for (int32_t x = 0; x < width; ++x)
        out.push_back(frame.get(x, 1));
    return out;
}

using Px8 = Px<uint8_t>;

} // namespace

// Above and below of equal brightness but different colour: the output is
// below when the average is no brighter, which it is here.
TEST(FieldMedianKernel, EqualBrightnessTieGoesToBelow) {
    const Row<uint8_t> above(4, Px8{255, 50, 60, 70}), below(4, Px8{255, 70, 60, 50});
    EXPECT_EQ((rebuildBetween<Sarn_Pixel8, Sarn_OrderARGB>(above, below)), below);
    // Swapped, still below.
    EXPECT_EQ((rebuildBetween<Sarn_Pixel8, Sarn_OrderARGB>(below, above)), above);
}

// Ties between differently coloured pixels, settled as the rules are
// written: at (1, 1) of above U- U U+, below D- D D+. In the first case the
// pairs give L = U-, U+, D and H = U, D-, D+; S = D (30 <= 30), T = D-
// (60 <= 60); then P = D and Q = D- by the same ties, averaging to 127 45 0 0,
// between below (30) and above (60). The other two tie the average with a
// neighbour and both neighbours with each other.
TEST(FieldMedianKernel, TiesBetweenDifferentColoursFollowTheWrittenOrder) {
    const struct {
        Row<uint8_t> above, below;
        Px8 expected;
    } cases[] = {
        {{{0, 15, 0, 15}, {255, 30, 30, 0}, {0, 30, 30, 0}}, {{0, 60, 0, 0}, {255, 30, 0, 0}, {255, 0, 0, 30}},
         {127, 45, 0, 0}},
        {{{0, 0, 60, 0}, {255, 60, 0, 0}, {0, 30, 30, 0}}, {{0, 30, 30, 0}, {255, 30, 0, 30}, {255, 30, 0, 0}},
         {255, 30, 0, 30}},
        {{{0, 0, 60, 0}, {255, 60, 0, 0}, {255, 60, 0, 0}}, {{0, 60, 0, 0}, {255, 15, 15, 0}, {0, 0, 0, 60}},
         {0, 30, 30, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ((rebuildBetween<Sarn_Pixel8, Sarn_OrderARGB>(c.above, c.below)[1]), c.expected);
}

// Rounding at the ends of each depth's range (the definition test below
// covers the ordinary values).
TEST(FieldMedianKernel, RoundingPerDepth) {
    using Px16 = Px<uint16_t>;
    EXPECT_EQ((rebuildBetween<Sarn_Pixel16, Sarn_OrderRGBA>(
                  Row<uint16_t>(2, {32768, 32768, 32768, 32768}),
                  Row<uint16_t>(2, {32767, 32767, 32767, 32767}))[0]),
              (Px16{32767, 32767, 32767, 32767}));

    using PxF = Px<float>;
    const PxF point15 = rebuildBetween<Sarn_PixelF, Sarn_OrderARGB>(Row<float>(2, {1, 0.1f, 0.1f, 0.1f}),
                                                                     Row<float>(2, {1, 0.2f, 0.2f, 0.2f}))[0];
    EXPECT_EQ(point15[1], 0.15000000596046448f);
    EXPECT_EQ(double(point15[1]), 0.15000000596046448);
    EXPECT_EQ(point15[0], 1.0f);
    // Unclamped, and alpha of the alpha-last order averaged by the same rule.
    EXPECT_EQ((rebuildBetween<Sarn_PixelF, Sarn_OrderRGBA>(Row<float>(2, {-0.5f, -0.5f, -0.5f, 1.0f}),
                                                           Row<float>(2, {1.5f, 1.5f, 1.5f, 0.0f}))[1]),
              (PxF{0.5f, 0.5f, 0.5f, 0.5f}));
    // The single-precision sum overflows: big + big averages to infinity.
    // Above weighs big, below and the average infinity, so the average is
    // the median.
    const float big = std::numeric_limits<float>::max();
    const PxF inf = rebuildBetween<Sarn_PixelF, Sarn_OrderARGB>(Row<float>(2, {0, big, 0, 0}),
                                                                Row<float>(2, {0, big, big, 0}))[0];
    EXPECT_TRUE(std::isinf(inf[1]) && inf[1] > 0) << inf[1];
    EXPECT_EQ(inf[2], big * 0.5f);
}

// Frames of every instance against the brute-force definition, every size
// from one pixel up, either field kept; few distinct pixels, so that the
// ranking meets many ties.
template <class Pixel, class Order>
void checkAgainstDefinition(uint32_t seed) {
    using T = typename Pixel::Type;
    for (int32_t width : {1, 2, 3, 9, 33})
        for (int32_t height : {1, 2, 5, 8})
            for (int kept : {1, 2}) {
                Frame<T> in(width, height, 12), out(width, height);
                fillFromPalette<T, Order>(in, seed++);
                TestHost test(&out.world, false);
                DeinterlaceFields<Pixel, Order>(*test.host, ViewRect{0, 0, width, height}, out.world,
                                                in.world, kept);
                if (height == 1 && kept == 2) { // no kept row: nothing to write
                    EXPECT_TRUE(std::all_of(out.bytes.begin(), out.bytes.end(), [](uint8_t b) { return b == 0xA5; }));
                    continue;
                }
                for (int32_t y = 2 - kept; y < height; y += 2)
                    for (int32_t x = 0; x < width; ++x)
                        ASSERT_EQ(out.get(x, y), (definedPixel<T, Order>(in, kept - 1, x, y)))
                            << width << "x" << height << " kept " << kept << " at (" << x << ", " << y << ")";
            }
}

TEST(FieldMedianKernel, MatchesTheDefinitionForAllInstances) {
    checkAgainstDefinition<Sarn_Pixel8, Sarn_OrderARGB>(100);
    checkAgainstDefinition<Sarn_Pixel16, Sarn_OrderARGB>(200);
    checkAgainstDefinition<Sarn_PixelF, Sarn_OrderARGB>(300);
    checkAgainstDefinition<Sarn_Pixel8, Sarn_OrderRGBA>(400);
    checkAgainstDefinition<Sarn_Pixel16, Sarn_OrderRGBA>(500);
    checkAgainstDefinition<Sarn_PixelF, Sarn_OrderRGBA>(600);
}

// A band area of negative height but positive width holds no row, whatever
// the band split: the band method writes nothing (no band may take the
// wrapped height for a count of rows).
TEST(FieldMedianKernel, AreaOfNegativeHeightWritesNothing) {
    Frame<uint8_t> in(4, 4), out(4, 4);
    fillFromPalette<uint8_t, Sarn_OrderARGB>(in, 3);
    ImageView<4> inView{ViewRect{0, 0, 4, 4}, in.bytes.data(), in.stride};
    ImageView<4> outView{ViewRect{0, 0, 4, 4}, out.bytes.data(), out.stride};
    FieldJob<4> job{ViewRect{0, 3, 4, 1}, nullptr, &outView, &inView};
    for (int32_t index = 0; index < 3; ++index)
        FieldMedianKernel<Sarn_Pixel8, Sarn_OrderARGB>::band(&job, index, 3, 0);
    EXPECT_TRUE(std::all_of(out.bytes.begin(), out.bytes.end(), [](uint8_t b) { return b == 0xA5; }));
}
