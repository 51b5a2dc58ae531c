// The kernel dispatch: which rows are written, how buffers with output or
// smart origins map to view coordinates, and the view helpers.
#include "deinterlace/DeinterlaceFields.h"
#include "deinterlace/FieldView.h"
#include "image/ImageView.h"
#include "FieldTestSupport.h"

#include <gtest/gtest.h>

using namespace fieldtest;

namespace {

using Pixel8 = Px<uint8_t>;
const Pixel8 kUntouched{0xA5, 0xA5, 0xA5, 0xA5};

// Every pixel of `output` is untouched or, at view coordinates (x + dx,
// y + dy) inside `area` on a rebuilt row, the definition's pixel.
void expectRebuilt(const Frame<uint8_t>& output, const Frame<uint8_t>& input, int kept, ViewRect area,
                   int32_t dx, int32_t dy) {
    for (int32_t y = 0; y < output.height; ++y)
        for (int32_t x = 0; x < output.width; ++x) {
            const int32_t vx = x + dx, vy = y + dy;
            const bool rebuilt = vx >= area.left && vx < area.right && vy >= area.top &&
                                 vy < area.bottom && (vy & 1) != kept - 1;
            ASSERT_EQ(output.get(x, y), (rebuilt ? definedPixel<uint8_t, Sarn_OrderARGB>(input, kept - 1, vx, vy)
                                                 : kUntouched))
                << "kept " << kept << " area top " << area.top << " bottom " << area.bottom << " at ("
                << x << ", " << y << ")";
        }
}

} // namespace

// Exactly the rows of the rebuilt parity from area.top (inclusive) to
// area.bottom (exclusive), within the area's columns, are written, and each
// holds the kernel's value from the kept rows of the whole input.
TEST(DeinterlaceFields, WritesExactlyTheRebuiltRowsOfTheArea) {
    const int32_t width = 11, height = 12;
    Frame<uint8_t> input(width, height);
    fillFromPalette<uint8_t, Sarn_OrderARGB>(input, 7);
    for (int kept : {1, 2})
        for (int32_t top : {0, 1, 2, 3})
            for (int32_t bottom : {top, top + 1, 8, 9, 12}) {
                Frame<uint8_t> output(width, height);
                TestHost test(&output.world, false);
                const ViewRect area{2, top, 9, bottom};
                DeinterlaceFields<Sarn_Pixel8, Sarn_OrderARGB>(*test.host, area, output.world,
                                                               input.world, kept);
                expectRebuilt(output, input, kept, area, 0, 0);
            }
}

// Legacy render: the output buffer's pixel (x, y) is view pixel
// (x - 10, y - 20). Smart render: a buffer with origin (ox, oy) gives its
// pixel (x, y) the view coordinates (x + ox, y + oy) (an odd oy: output row 0
// is frame row 5). The input at (0, 0) is read at view coordinates.
TEST(DeinterlaceFields, OutputAndSmartOriginsPlaceTheBuffers) {
    const int32_t width = 12, height = 11;
    Frame<uint8_t> input(width, height);
    fillFromPalette<uint8_t, Sarn_OrderARGB>(input, 5);
    {
        Frame<uint8_t> output(width + 10, height + 20);
        TestHost test(&output.world, false, 10, 20);
        DeinterlaceFields<Sarn_Pixel8, Sarn_OrderARGB>(*test.host, ViewRect{0, 0, width, height},
                                                       output.world, input.world, 1);
        expectRebuilt(output, input, 1, ViewRect{0, 0, width, height}, -10, -20);
    }
    for (int kept : {1, 2}) {
        Frame<uint8_t> output(6, 5);
        output.world.origin_x = 3;
        output.world.origin_y = 5;
        TestHost test(&output.world, true);
        DeinterlaceFields<Sarn_Pixel8, Sarn_OrderARGB>(*test.host, ViewRect{3, 5, 9, 10},
                                                       output.world, input.world, kept);
        expectRebuilt(output, input, kept, ViewRect{3, 5, 9, 10}, 3, 5);
    }
}

// An area larger than the output view is clipped to it: nothing outside the
// buffer is written (the frame's guard byte stays).
TEST(DeinterlaceFields, AreaBeyondTheOutputIsClipped) {
    Frame<uint8_t> input(4, 4), output(4, 4);
    fillFromPalette<uint8_t, Sarn_OrderARGB>(input, 9);
    TestHost test(&output.world, false);
    DeinterlaceFields<Sarn_Pixel8, Sarn_OrderARGB>(*test.host, ViewRect{-3, -3, 40, 40},
                                                   output.world, input.world, 1);
    EXPECT_EQ(output.bytes.back(), 0xA5);
    expectRebuilt(output, input, 1, ViewRect{0, 0, 4, 4}, 0, 0);
}

TEST(ImageView, CropViewMovesThePointerOrLeavesNull) {
    uint8_t pixels[64];
    const ImageView<4> view{ViewRect{10, 20, 14, 24}, pixels, 16};
    const ImageView<4> inner = cropView(view, ViewRect{11, 22, 30, 30});
    EXPECT_EQ(inner.rect, (ViewRect{11, 22, 14, 24}));
    EXPECT_EQ(inner.data, pixels + 1 * 4 + 2 * 16);
    // Zero height is not empty: the pointer still moves.
    const ImageView<4> flat = cropView(view, ViewRect{12, 23, 14, 23});
    EXPECT_EQ(flat.data, pixels + 2 * 4 + 3 * 16);
    // A rectangle that misses keeps the inverted intersection and no pointer.
    const ImageView<4> missed = cropView(view, ViewRect{0, 0, 5, 5});
    EXPECT_EQ(missed.data, nullptr);
    EXPECT_EQ(missed.rect, (ViewRect{10, 20, 5, 5}));
}

TEST(FieldView, ParitiesAndFieldRowNumbers) {
    EXPECT_EQ(firstRowOfParity(-1, 1), -1);
    EXPECT_EQ(firstRowOfParity(-1, 0), 0);
    EXPECT_EQ(firstRowOfParity(4, 1), 5);
    uint8_t pixels[4 * 2 * 10];
    const ImageView<4> frame{ViewRect{0, 0, 2, 10}, pixels, 8};
    // Kept odd rows 1, 3, ... are field rows 1, 2, ...; rebuilt even rows
    // 2, 4 of the area [1, 6) are field rows 1, 2.
    const ImageView<4> kept = keptFieldView(frame, 1);
    EXPECT_EQ(kept.rect, (ViewRect{0, 1, 2, 6}));
    EXPECT_EQ(kept.data, pixels + 8);
    EXPECT_EQ(kept.stride, 16);
    const ImageView<4> rebuilt = rebuiltFieldView(frame, ViewRect{0, 1, 2, 6}, 0);
    EXPECT_EQ(rebuilt.rect, (ViewRect{0, 1, 2, 3}));
    EXPECT_EQ(rebuilt.data, pixels + 2 * 8);
    // The kept rows k and k + 1 are the frame rows above and below rebuilt k.
    EXPECT_EQ(kept.pixel(0, 1), rebuilt.pixel(0, 1) - 8);
    EXPECT_EQ(kept.pixel(0, 2), rebuilt.pixel(0, 1) + 8);
}
