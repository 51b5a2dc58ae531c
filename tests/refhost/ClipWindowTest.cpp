// A clip as a sliding window over a stream: dropped frames answer like frames
// before the clip, renumbering keeps the held frames in order.
#include "refhost/Clip.h"
#include "refhost/RenderDriver.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

using namespace refhost;

namespace {

std::vector<uint8_t> frameOf(uint8_t value) { return std::vector<uint8_t>(2 * 2 * 4, value); }

} // namespace

TEST(ClipWindow, DropsOldFramesAndHandsTheirBuffersBack) {
    Clip clip(PF_PixelFormat_ARGB32, 2, 2);
    for (uint8_t v = 0; v < 5; ++v)
        clip.addFrame(frameOf(v));
    EXPECT_TRUE(clip.dropFramesBefore(0).empty());
    const auto dropped = clip.dropFramesBefore(3);
    ASSERT_EQ(dropped.size(), 3u);
    EXPECT_EQ(dropped[0][0], 0);
    EXPECT_EQ(dropped[2][0], 2);
    EXPECT_EQ(clip.firstFrame(), 3);
    EXPECT_EQ(clip.framesHeld(), 2);
    EXPECT_EQ(clip.frameCount(), 5);
    EXPECT_FALSE(clip.hasFrame(2));
    EXPECT_TRUE(clip.hasFrame(3));
    EXPECT_TRUE(clip.hasFrame(4));
    EXPECT_FALSE(clip.hasFrame(5));
    EXPECT_EQ(clip.frame(4)[0], 4);
    EXPECT_THROW(clip.frame(2), std::out_of_range);
    clip.addFrame(frameOf(5));
    EXPECT_EQ(clip.frame(5)[0], 5);
    // Dropping beyond the newest frame empties the clip; the next frame added
    // takes the index dropped to.
    EXPECT_EQ(clip.dropFramesBefore(9).size(), 3u);
    EXPECT_EQ(clip.framesHeld(), 0);
    clip.addFrame(frameOf(9));
    EXPECT_EQ(clip.frameCount(), 10);
    EXPECT_EQ(clip.frame(9)[0], 9);
}

TEST(ClipWindow, RenumberingKeepsTheOrder) {
    Clip clip(PF_PixelFormat_ARGB32, 2, 2);
    for (uint8_t v = 0; v < 4; ++v)
        clip.addFrame(frameOf(v));
    clip.dropFramesBefore(2);
    clip.renumberFrom(0);
    EXPECT_EQ(clip.frameCount(), 2);
    EXPECT_EQ(clip.frame(0)[0], 2);
    EXPECT_EQ(clip.frame(1)[0], 3);
    EXPECT_FALSE(clip.hasFrame(-1));
}

// An earlier frame that was dropped is refused as one before the clip is:
// the plug-in sees an empty layer (smart) or a refused check-out (legacy).
TEST(ClipWindow, DroppedFramesAnswerLikeFramesBeforeTheClip) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    RenderDriver driver(host);
    Clip clip(PF_PixelFormat_ARGB32, 8, 6);
    for (int v = 0; v < 3; ++v)
        clip.addFrame(std::vector<uint8_t>(8 * 6 * 4, uint8_t(40 * v)));
    clip.dropFramesBefore(2);
    RenderParams params;
    params.motion = 2; // "Fast": one earlier frame
    const RenderResult smart = driver.render(clip, 2, params, Protocol::Smart);
    EXPECT_EQ(smart.err, PF_Err_NONE);
    bool earlierAsked = false;
    for (const LayerRequest& r : smart.layerRequests) {
        if (r.frameIndex == 1) {
            earlierAsked = true;
            EXPECT_EQ(r.result.result_rect.right - r.result.result_rect.left, 0);
        }
    }
    EXPECT_TRUE(earlierAsked);
    const RenderResult legacy = driver.render(clip, 2, params, Protocol::Legacy);
    EXPECT_EQ(legacy.err, PF_Err_NONE);
    bool refused = false;
    for (const LayerParamCheckout& c : legacy.layerParamCheckouts)
        refused |= c.frameIndex == 1 && c.result == PF_Err_BAD_CALLBACK_PARAM;
    EXPECT_TRUE(refused);
    EXPECT_THROW(driver.render(clip, 1, params, Protocol::Smart), std::out_of_range);
    EXPECT_NOTHING_HELD(host);
}

// A result frame handed back is reused for the next result of its size, and
// the next result is complete all the same.
TEST(ClipWindow, RecycledResultPixelsAreReusedAndFullyWritten) {
    Clip clip(PF_PixelFormat_ARGB32, 6, 4);
    for (uint8_t v = 0; v < 3; ++v) {
        std::vector<uint8_t> pixels(6 * 4 * 4);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = uint8_t(v * 40 + i);
        clip.addFrame(std::move(pixels));
    }
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    RenderDriver driver(host);
    RenderResult first = driver.render(clip, 1, RenderParams{}, Protocol::Smart);
    ASSERT_EQ(first.err, PF_Err_NONE);
    const uint8_t* const memory = first.frame.pixels.data();
    driver.recycle(std::move(first.frame.pixels));
    const RenderResult second = driver.render(clip, 2, RenderParams{}, Protocol::Smart);
    ASSERT_EQ(second.err, PF_Err_NONE);
    EXPECT_EQ(second.frame.pixels.data(), memory);

    const RenderResult again = driver.render(clip, 2, RenderParams{}, Protocol::Smart);
    EXPECT_NE(again.frame.pixels.data(), memory);
    EXPECT_EQ(second.frame.pixels, again.frame.pixels);
    EXPECT_NOTHING_HELD(host);
}
