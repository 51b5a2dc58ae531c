// Frames placed anywhere in the layer: the pipeline works relative to the
// input's view, so a frame rendered at an origin gives the pixels it gives at
// (0, 0). Also earlier frames the host cannot give, called in process.
#include "deinterlace/MotionDeinterlace.h"
#include "parallel/AEHost.h"
#include "image/CopyFrame.h"
#include "image/Sarn_Pixel.h"
#include "parallel/ProcessorFeatures.h"
#include "refhost/RenderDriver.h"
#include "tests/deinterlace/PanClip.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace refhost;

namespace {

constexpr int kWidth = 56, kHeight = 30;

// Packed rows of a host world.
std::vector<uint8_t> packed(const PF_EffectWorld& world, size_t bytesPerPixel) {
    const size_t row = size_t(world.width) * bytesPerPixel;
    std::vector<uint8_t> pixels(row * size_t(world.height));
    for (A_long y = 0; y < world.height; ++y)
        std::memcpy(&pixels[size_t(y) * row],
                    reinterpret_cast<const uint8_t*>(world.data) + size_t(y) * size_t(world.rowbytes), row);
    return pixels;
}

void fill(PF_EffectWorld& world, const std::vector<uint8_t>& pixels, size_t bytesPerPixel) {
    const size_t row = size_t(world.width) * bytesPerPixel;
    for (A_long y = 0; y < world.height; ++y)
        std::memcpy(reinterpret_cast<uint8_t*>(world.data) + size_t(y) * size_t(world.rowbytes),
                    &pixels[size_t(y) * row], row);
}

// One smart-render style call of the 8-bit ARGB pipeline on the current frame
// alone, input and output both at (originX, originY).
std::vector<uint8_t> renderAt(RefHost& host, const std::vector<uint8_t>& frame, A_long originX,
                              A_long originY, A_long fields, const MotionSettings& settings) {
    PF_EffectWorld input = host.makeHostWorld(kWidth, kHeight, PF_PixelFormat_ARGB32, "input");
    PF_EffectWorld output = host.makeHostWorld(kWidth, kHeight, PF_PixelFormat_ARGB32, "output");
    fill(input, frame, 4);
    input.origin_x = output.origin_x = originX;
    input.origin_y = output.origin_y = originY;
    {
        AEHost aeHost(&host.inData(), &output, host.smartRenderCallbacks());
        const RenderContext context{&host.inData(), detectProcessorFeatures()};
        EXPECT_EQ(copyFrame(aeHost, &input, &output), PF_Err_NONE);
        const ViewRect area{originX, originY, originX + kWidth, originY + kHeight};
        MotionDeinterlace<Sarn_Pixel8, Sarn_OrderARGB>(aeHost, context, 0, 1000, area, output,
                                                       input, fields, settings);
    }
    std::vector<uint8_t> result = packed(output, 4);
    EXPECT_EQ(packed(input, 4), frame) << "the input was written";
    host.disposeHostWorld(&input);
    host.disposeHostWorld(&output);
    return result;
}

class MotionPipelineOrigin : public ::testing::Test {
protected:
    const Clip clip = pantest::panClip(PF_PixelFormat_ARGB32, kWidth, kHeight, 3, 1.5);
    RefHost host{HostProfile::afterEffects(), loadedPlugin().entry()};
    RenderDriver driver{host};
};

} // namespace

// An even vertical shift keeps every row in its field: the same pixels. An odd
// one swaps the fields' parities within the frame: the same pixels as the
// other "Fields" choice at (0, 0).
TEST_F(MotionPipelineOrigin, SmartBuffersAtAnOriginGiveThePixelsOfTheLayerOrigin) {
    const std::vector<uint8_t>& frame = clip.frame(0);
    for (const MotionSettings settings : {MotionSettings{0, 1, 2, false, false},
                                          MotionSettings{0, 5, 0, true, false}}) {
        const std::vector<uint8_t> atOrigin[2] = {renderAt(host, frame, 0, 0, 1, settings),
                                                  renderAt(host, frame, 0, 0, 2, settings)};
        ASSERT_NE(atOrigin[0], frame);
        ASSERT_NE(atOrigin[0], atOrigin[1]);
        struct Place {
            A_long x, y;
        };
        for (const Place place : {Place{6, 4}, Place{-10, -6}, Place{3, 100}, Place{0, 1},
                                  Place{-5, -3}, Place{7, 31}})
            for (A_long fields : {1, 2}) {
                SCOPED_TRACE("origin (" + std::to_string(place.x) + ", " + std::to_string(place.y) +
                             "), Fields " + std::to_string(fields) + ", passes " +
                             std::to_string(settings.passes));
                const int sameParity = (place.y & 1) == 0 ? fields : 3 - fields;
                EXPECT_EQ(renderAt(host, frame, place.x, place.y, fields, settings),
                          atOrigin[sameParity - 1]);
            }
    }
    EXPECT_NOTHING_HELD(host);
}

// Legacy render into an output grown by the output origin: the layer's part
// of the output holds the pixels of a render without an output origin.
TEST_F(MotionPipelineOrigin, LegacyOutputOrigin) {
    for (A_long motion : {2, 4})
        for (A_long fields : {1, 2}) {
            const RenderParams params{.fields = fields, .motion = motion};
            driver.settings().outputOrigin = PF_Point{0, 0};
            const RenderResult plain = driver.render(clip, 2, params, Protocol::Legacy);
            ASSERT_EQ(plain.err, PF_Err_NONE) << plain.message;
            driver.settings().outputOrigin = PF_Point{3, 2};
            const RenderResult moved = driver.render(clip, 2, params, Protocol::Legacy);
            ASSERT_EQ(moved.err, PF_Err_NONE) << moved.message;
            ASSERT_EQ(moved.frame.width, kWidth + 6);
            ASSERT_EQ(moved.frame.originX, -3);
            const size_t row = size_t(kWidth) * 4;
            for (int y = 0; y < kHeight; ++y)
                ASSERT_EQ(std::memcmp(&moved.frame.pixels[(size_t(y + 2) * (kWidth + 6) + 3) * 4],
                                      &plain.frame.pixels[size_t(y) * row], row),
                          0)
                    << "row " << y << ", mode " << motion << ", Fields " << fields;
            EXPECT_NOTHING_HELD(host);
        }
}

// A smart output request for part of the layer: the pipeline still needs the
// whole layer, and the part the output covers matches the whole-layer render.
TEST_F(MotionPipelineOrigin, SmartOutputRequestForPartOfTheLayer) {
    const RenderParams params{.motion = 3};
    const RenderResult whole = driver.render(clip, 2, params, Protocol::Smart);
    ASSERT_EQ(whole.err, PF_Err_NONE) << whole.message;
    driver.settings().outputRequest = PF_LRect{8, 5, 40, 27};
    const RenderResult part = driver.render(clip, 2, params, Protocol::Smart);
    ASSERT_EQ(part.err, PF_Err_NONE) << part.message;
    ASSERT_GT(part.frame.width, 0);
    for (A_long y = 0; y < part.frame.height; ++y)
        for (A_long x = 0; x < part.frame.width; ++x) {
            const A_long lx = x + part.frame.originX, ly = y + part.frame.originY;
            ASSERT_TRUE(lx >= 0 && lx < kWidth && ly >= 0 && ly < kHeight);
            ASSERT_EQ(std::memcmp(&part.frame.pixels[(size_t(y) * part.frame.width + x) * 4],
                                  &whole.frame.pixels[(size_t(ly) * kWidth + lx) * 4], 4),
                      0)
                << "layer pixel (" << lx << ", " << ly << ")";
        }
    EXPECT_NOTHING_HELD(host);
}

// An earlier frame the host cannot give under smart render (here: no render
// session answers the check-out) clears the output; no error, nothing held.
TEST_F(MotionPipelineOrigin, SmartEarlierFrameRefusedClearsTheOutput) {
    EXPECT_EQ(renderAt(host, clip.frame(0), 0, 0, 1, MotionSettings{2, 5, 0, false, false}),
              std::vector<uint8_t>(clip.frame(0).size(), 0));
    EXPECT_NOTHING_HELD(host);
}

// Legacy render with an input extent hint that starts at an odd row and
// column: the pipeline works on the hinted part only, keeps the layer's field
// parity there, and writes nothing outside the frames.
TEST_F(MotionPipelineOrigin, LegacyInputExtentHintAtAnOddRow) {
    const PF_Rect hint{5, 3, kWidth, kHeight};
    driver.settings().inputExtentHint = hint;
    for (A_long motion : {2, 4})
        for (A_long fields : {1, 2}) {
            const RenderResult r = driver.render(clip, 2, RenderParams{.fields = fields, .motion = motion},
                                                 Protocol::Legacy);
            ASSERT_EQ(r.err, PF_Err_NONE) << r.message;
            const std::vector<uint8_t>& input = clip.frame(2);
            int keptDiffering = 0, rebuiltDiffering = 0;
            for (int y = hint.top; y < kHeight; ++y) {
                const size_t at = (size_t(y) * kWidth + size_t(hint.left)) * 4;
                const bool differs = std::memcmp(&r.frame.pixels[at], &input[at],
                                                 size_t(kWidth - hint.left) * 4) != 0;
                ((y & 1) == fields - 1 ? keptDiffering : rebuiltDiffering) += differs;
            }
            EXPECT_EQ(keptDiffering, 0) << "mode " << motion << ", Fields " << fields;
            EXPECT_GT(rebuiltDiffering, kHeight / 4) << "mode " << motion << ", Fields " << fields;
            EXPECT_NOTHING_HELD(host);
        }
}
