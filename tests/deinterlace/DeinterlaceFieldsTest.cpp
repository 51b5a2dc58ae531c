// The kernel dispatch: which rows are written, and how buffers with output or
// smart origins map to view coordinates.
#include "deinterlace/DeinterlaceFields.h"
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
// holds the kernel's value from the kept rows of the whole input. An area
// larger than the output is clipped to it: nothing outside the buffer is
// written (the frame's guard byte stays).
TEST(DeinterlaceFields, WritesExactlyTheRebuiltRowsOfTheArea) {
    const int32_t width = 11, height = 12;
    Frame<uint8_t> input(width, height);
    fillFromPalette<uint8_t, Sarn_OrderARGB>(input, 7);
    std::vector<ViewRect> areas{ViewRect{-3, -3, 40, 40}}; // beyond the output on every side
    for (int32_t top : {0, 1, 2, 3})
        for (int32_t bottom : {top, top + 1, 8, 9, 12})
            areas.push_back(ViewRect{2, top, 9, bottom});
    for (int kept : {1, 2})
        for (const ViewRect& area : areas) {
            Frame<uint8_t> output(width, height);
            TestHost test(&output.world, false);
            DeinterlaceFields<Sarn_Pixel8, Sarn_OrderARGB>(*test.host, area, output.world, input.world, kept);
            EXPECT_EQ(output.bytes.back(), 0xA5);
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
