// The field steps of the motion-compensated modes as the host sees them: which
// earlier frames are checked out, which field the output is aligned with, and
// how odd, empty and refused inputs end.
#include "refhost/RenderDriver.h"
#include "tests/deinterlace/PanClip.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace refhost;

namespace {

constexpr A_long kFast = 2, kBetter = 3, kBest = 4;

const char* modeName(A_long motion) {
    return motion == kFast ? "Fast" : motion == kBetter ? "Better" : "Best";
}

RenderParams motionParams(A_long motion, A_long fields = 1) {
    return RenderParams{.fields = fields, .motion = motion};
}

} // namespace

// Legacy render checks parameter 0 out one, two frames back, as many as the
// quality uses, nearest first, and stops at the first refusal. An earlier
// frame refused in the middle of a layer (a cut) starts the chain after it,
// whatever the host's code. Either way the output is that of a smart render
// of the layer as the legacy render saw it (whose check-outs the reference
// host's protocol tests follow).
TEST(MotionPipelineSteps, LegacyChecksOutEarlierFramesUpToTheFirstRefusal) {
    struct Case {
        A_long motion;
        int frame;
        std::vector<int> checkedOut; // clip frames of the legacy check-outs
        int refused = -1;            // clip frame the host refuses
        PF_Err code = PF_Err_NONE;
    };
    const Case cases[] = {
        {kFast, 0, {-1}}, // first frame: the current frame alone
        {kFast, 2, {1}},
        {kBetter, 1, {0}},
        {kBest, 0, {-1}},
        {kBest, 1, {0, -1}}, // one earlier frame: start one frame back
        {kBest, 3, {2, 1}},
        {kFast, 3, {}, 2, PF_Err_BAD_CALLBACK_PARAM},
        {kBetter, 3, {}, 2, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {kBest, 3, {}, 2, PF_Err_INVALID_INDEX}, // frame 1 is not asked for
        {kBest, 3, {2}, 1, PF_Err_BAD_CALLBACK_PARAM},
    };
    const Clip clip = pantest::panClip(PF_PixelFormat_ARGB32, 32, 16, 4, 1.5);
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    RenderDriver driver(host);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(modeName(c.motion)) + " at frame " + std::to_string(c.frame) + ", frame " +
                     std::to_string(c.refused) + " refused");
        Clip cut = clip;
        cut.dropFramesBefore(c.refused + 1);
        const RenderResult smart = driver.render(cut, c.frame, motionParams(c.motion), Protocol::Smart);
        ASSERT_EQ(smart.err, PF_Err_NONE) << smart.message;
        if (c.refused >= 0)
            host.faults().refuseLayerAt = {{c.refused * host.inData().time_step, c.code}};
        const RenderResult legacy = driver.render(clip, c.frame, motionParams(c.motion), Protocol::Legacy);
        host.faults().refuseLayerAt.clear();
        ASSERT_EQ(legacy.err, PF_Err_NONE) << legacy.message;
        std::vector<int> frames;
        for (const LayerParamCheckout& checkout : legacy.layerParamCheckouts)
            frames.push_back(checkout.frameIndex);
        EXPECT_EQ(frames, c.checkedOut);
        EXPECT_NOTHING_HELD(host);
        EXPECT_EQ(legacy.frame.pixels, smart.frame.pixels);
    }
}

// "Best" starts two frames back and "Fast" one: a change to the frame two
// steps back reaches only the "Best" output, a change to the previous frame
// reaches both.
TEST(MotionPipelineSteps, OnlyTheQualitysEarlierFramesTakePart) {
    const int width = 48, height = 24;
    const Clip clip = pantest::panClip(PF_PixelFormat_ARGB32, width, height, 3, 1.5);
    auto altered = [&](int changed) {
        Clip copy(clip.format(), width, height);
        for (int i = 0; i < 3; ++i) {
            std::vector<uint8_t> pixels = clip.frame(i);
            if (i == changed)
                for (size_t b = 0; b < pixels.size(); b += 4)
                    pixels[b + 1] = uint8_t(255 - pixels[b + 1]);
            copy.addFrame(pixels);
        }
        return copy;
    };
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    RenderDriver driver(host);
    auto render = [&](const Clip& c, A_long motion) {
        const RenderResult r = driver.render(c, 2, motionParams(motion), Protocol::Smart);
        EXPECT_EQ(r.err, PF_Err_NONE) << r.message;
        return r.frame.pixels;
    };
    const Clip twoBack = altered(0), oneBack = altered(1);
    EXPECT_EQ(render(twoBack, kFast), render(clip, kFast));
    EXPECT_EQ(render(twoBack, kBetter), render(clip, kBetter));
    EXPECT_NE(render(twoBack, kBest), render(clip, kBest));
    EXPECT_NE(render(oneBack, kFast), render(clip, kFast));
    EXPECT_NE(render(oneBack, kBest), render(clip, kBest));
    EXPECT_NOTHING_HELD(host);
}

// Odd and tiny sizes, either field first, every mode, both protocols: the
// last field step keeps its field's rows of the current frame unchanged (with
// earlier frames the first field, at the first frame of a clip the second)
// and rebuilds the other, and nothing is written outside the frames (the host
// records writes into row padding or into input frames).
TEST(MotionPipelineSteps, OddAndTinySizes) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    RenderDriver driver(host);
    for (auto [width, height] : {std::pair{24, 1}, std::pair{24, 2}, std::pair{24, 3},
                                 std::pair{24, 5}, std::pair{24, 7}, std::pair{24, 33},
                                 std::pair{1, 9}, std::pair{2, 6}, std::pair{3, 5},
                                 std::pair{5, 4}, std::pair{37, 17}})
        for (A_long fields : {1, 2}) {
            const Clip clip = pantest::panClip(PF_PixelFormat_ARGB32, width, height, 3, 1.5, fields == 2);
            const size_t row = clip.rowBytes();
            const int firstFieldRow = fields == 2 ? 1 : 0;
            for (A_long motion : {kFast, kBetter, kBest})
                for (Protocol protocol : {Protocol::Smart, Protocol::Legacy})
                    for (int frame : {0, 2}) {
                        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + ", Fields " +
                                     std::to_string(fields) + ", " + modeName(motion) +
                                     (protocol == Protocol::Smart ? ", smart" : ", legacy") + ", frame " +
                                     std::to_string(frame));
                        const RenderResult r = driver.render(clip, frame, motionParams(motion, fields), protocol);
                        ASSERT_EQ(r.err, PF_Err_NONE) << r.message;
                        ASSERT_EQ(r.frame.height, height);
                        const int keptRow = frame == 0 ? 1 - firstFieldRow : firstFieldRow;
                        const std::vector<uint8_t>& current = clip.frame(frame);
                        EXPECT_EQ(pantest::rowsDiffering(r.frame.pixels, current, row, height, keptRow), 0);
                        if (height > 16) {
                            EXPECT_GT(pantest::rowsDiffering(r.frame.pixels, current, row, height, 1 - keptRow),
                                      height / 4);
                        }
                        EXPECT_NOTHING_HELD(host);
                    }
        }
}

// Without the world suite the scratch frames come from the utility callbacks
// (8-bit and 16-bit only) and the render area from the extent hint.
TEST(MotionPipelineSteps, HostWithoutWorldSuite) {
    const int width = 40, height = 20;
    for (PF_PixelFormat format : {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64}) {
        const Clip clip = pantest::panClip(format, width, height, 3, 1.5);
        RefHost host(HostProfile::afterEffects().withholding("PF World Suite"), loadedPlugin().entry());
        RenderDriver driver(host);
        for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
            const RenderResult r = driver.render(clip, 2, motionParams(kBetter), protocol);
            ASSERT_EQ(r.err, PF_Err_NONE) << r.message;
            EXPECT_EQ(pantest::rowsDiffering(r.frame.pixels, clip.frame(2), clip.rowBytes(), height, 0), 0);
            EXPECT_GT(pantest::rowsDiffering(r.frame.pixels, clip.frame(2), clip.rowBytes(), height, 1),
                      height / 4);
            EXPECT_NOTHING_HELD(host);
        }
    }
}

// A frame of one row has a single field and no motion to estimate between
// fields: the quality's passes cost no host memory ("Best" asks for as many
// handles as "Fast"), with either field first.
TEST(MotionPipelineSteps, OneRowFramesEstimateNoMotion) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    RenderDriver driver(host);
    for (A_long fields : {1, 2}) {
        const Clip clip = pantest::panClip(PF_PixelFormat_ARGB32, 24, 1, 3, 1.5, fields == 2);
        int handles[kBest + 1] = {};
        for (A_long motion : {kFast, kBest}) {
            const int before = host.handleRequests();
            const RenderResult r = driver.render(clip, 2, motionParams(motion, fields), Protocol::Smart);
            ASSERT_EQ(r.err, PF_Err_NONE) << r.message;
            handles[motion] = host.handleRequests() - before;
        }
        EXPECT_EQ(handles[kBest], handles[kFast]) << "Fields " << fields;
        EXPECT_NOTHING_HELD(host);
    }
}
