// The render commands' dealings with the host: what smart pre-render asks for
// and answers per mode, which earlier frames the render then checks out, and
// the result codes and leftovers of failures and bad input.
#include "refhost/RenderDriver.h"
#include "tests/refhost/RenderTestFrames.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace refhost;

using namespace rendertest;

namespace {

constexpr A_long kW = 32, kH = 24;

struct Host {
    explicit Host(HostProfile profile = HostProfile::afterEffects())
        : host(profile, loadedPlugin().entry()), driver(host) {}
    RefHost host;
    RenderDriver driver;
};

RenderParams withMotion(A_long motion, A_long fields = 1) {
    RenderParams p;
    p.motion = motion;
    p.fields = fields;
    return p;
}

bool sameRect(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string text(const PF_LRect& r) {
    std::ostringstream out;
    out << '{' << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << '}';
    return out.str();
}

TEST(SmartPreRender, OffAsksForTheRequestGrownAndAnswersItClippedToTheLayer) {
    Host h;
    const Clip clip = clipOf(PF_PixelFormat_ARGB32, kW, kH, 3, 1);
    const PF_LRect layer{0, 0, kW, kH};
    struct Case {
        PF_LRect request, grown, result;
    };
    const Case cases[] = {
        {{4, 3, 10, 9}, {3, 2, 11, 11}, {4, 3, 10, 9}},
        {{0, 0, kW, kH}, {-1, -1, kW + 1, kH + 2}, {0, 0, kW, kH}},
        {{-5, -6, 40, 30}, {-6, -7, 41, 32}, {0, 0, kW, kH}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(text(c.request));
        h.driver.settings().outputRequest = c.request;
        const RenderResult r = h.driver.render(clip, 2, withMotion(1), Protocol::Smart);
        ASSERT_EQ(r.err, PF_Err_NONE);
        ASSERT_EQ(r.layerRequests.size(), 1u);
        const LayerRequest& current = r.layerRequests[0];
        EXPECT_EQ(current.id, 0);
        EXPECT_EQ(current.frameIndex, 2);
        EXPECT_TRUE(sameRect(current.request.rect, c.grown)) << text(current.request.rect);
        EXPECT_EQ(current.request.field, PF_Field_FRAME);
        EXPECT_EQ(current.request.channel_mask, 15);
        EXPECT_TRUE(current.request.preserve_rgb_of_zero_alpha);
        EXPECT_TRUE(sameRect(r.preRender.max_result_rect, layer));
        EXPECT_TRUE(sameRect(r.preRender.result_rect, c.result)) << text(r.preRender.result_rect);
        EXPECT_EQ(r.preRender.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS, 0);
        EXPECT_TRUE(r.preRenderDataFreed);
        EXPECT_EQ(r.pixelCheckouts, std::vector<A_long>{0});
        EXPECT_NOTHING_HELD(h.host);
    }
}

// Motion modes ask for the whole layer now and the earlier frames (id 1000 - k
// at k time steps back, the farthest first), and report extra pixels.
TEST(SmartPreRender, MotionModesAskForTheWholeLayerAndTheEarlierFrames) {
    Host h;
    const Clip clip = clipOf(PrPixelFormat_BGRA_4444_8u, kW, kH, 4, 2);
    const PF_LRect layer{0, 0, kW, kH};
    const PF_LRect wholeLayer{-100000, -100000, 100000, 100000};
    h.driver.settings().outputRequest = PF_LRect{4, 3, 10, 9};
    struct Case {
        A_long motion;
        std::vector<std::pair<A_long, int>> idsAndFramesBack;
    };
    const Case cases[] = {
        {2, {{0, 0}, {999, 1}}},
        {3, {{0, 0}, {999, 1}}},
        {4, {{0, 0}, {998, 2}, {999, 1}}},
    };
    const int current = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE("motion " + std::to_string(c.motion));
        const RenderResult r = h.driver.render(clip, current, withMotion(c.motion), Protocol::Smart);
        ASSERT_EQ(r.err, PF_Err_NONE) << r.message;
        ASSERT_EQ(r.layerRequests.size(), c.idsAndFramesBack.size());
        for (size_t i = 0; i < r.layerRequests.size(); ++i) {
            const LayerRequest& q = r.layerRequests[i];
            EXPECT_EQ(q.id, c.idsAndFramesBack[i].first);
            EXPECT_EQ(q.frameIndex, current - c.idsAndFramesBack[i].second);
            EXPECT_EQ(q.time, (current - c.idsAndFramesBack[i].second) * h.host.inData().time_step);
            // The earlier frames are asked for the current frame's whole area.
            EXPECT_TRUE(sameRect(q.request.rect, i == 0 ? wholeLayer : layer)) << text(q.request.rect);
        }
        EXPECT_TRUE(sameRect(r.preRender.max_result_rect, layer));
        EXPECT_TRUE(sameRect(r.preRender.result_rect, layer)) << text(r.preRender.result_rect);
        EXPECT_NE(r.preRender.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS, 0);
        EXPECT_EQ(r.frame.width, kW);
        EXPECT_EQ(r.frame.height, kH);
        EXPECT_NOTHING_HELD(h.host);
    }
}

// How many earlier frames exist at pre-render decides where the render
// starts: the check-outs after the current frame (id 0) are 1000 - k for k
// from the number of frames used down to 1.
TEST(SmartRender, StartsFromTheEarlierFramesThatExist) {
    Host h;
    const Clip clip = clipOf(PF_PixelFormat_ARGB64, kW, kH, 4, 3);
    struct Case {
        A_long motion;
        int frame;
        std::vector<A_long> checkouts;
    };
    const Case cases[] = {
        {4, 0, {0}},           {4, 1, {0, 999}},      {4, 2, {0, 998, 999}},
        {4, 3, {0, 998, 999}}, {2, 0, {0}},           {2, 1, {0, 999}},
        {3, 3, {0, 999}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("motion " + std::to_string(c.motion) + " frame " + std::to_string(c.frame));
        const RenderResult r = h.driver.render(clip, c.frame, withMotion(c.motion), Protocol::Smart);
        ASSERT_EQ(r.err, PF_Err_NONE) << r.message;
        EXPECT_EQ(r.pixelCheckouts, c.checkouts);
        // Earlier frames are checked in again; only the current frame's
        // pixels may be left to the host.
        EXPECT_LE(r.layerPixelsLeftCheckedOut, 1);
        // The first frame of a clip still renders: no zero-filled output.
        bool anyNonZero = false;
        for (uint8_t b : r.frame.pixels)
            anyNonZero = anyNonZero || b != 0;
        EXPECT_TRUE(anyNonZero);
        EXPECT_NOTHING_HELD(h.host);
    }
}

// The motion modes render every pixel format in both protocols: the frames
// the pipeline makes for itself are ones the host copies to and from.
TEST(MotionRender, EveryFormatBothProtocols) {
    Host h;
    for (const PixelFormatInfo& format : allPixelFormats()) {
        const Clip clip = clipOf(format.code, kW, kH, 2, 12);
        for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
            SCOPED_TRACE(pixelFormatName(format.code) + " " + protocolName(protocol));
            const RenderResult r = h.driver.render(clip, 1, withMotion(2, 2), protocol);
            ASSERT_EQ(r.err, PF_Err_NONE) << r.message;
            ASSERT_EQ(r.frame.pixels.size(), clip.frameBytes());
            // Not cleared, and (the pictures being unrelated noise) not the
            // input handed back either.
            EXPECT_NE(std::count(r.frame.pixels.begin(), r.frame.pixels.end(), uint8_t{0}),
                      std::ptrdiff_t(r.frame.pixels.size()));
            EXPECT_NE(r.frame.pixels, clip.frame(1));
            EXPECT_NOTHING_HELD(h.host);
        }
    }
}

// Legacy render has no pre-render to count the earlier frames: it starts from
// those the host gives, so the first frames of a clip come out as under smart
// render, in every mode and depth.
TEST(LegacyRender, FirstFramesOfAClipAsUnderSmartRender) {
    Host h;
    for (PF_PixelFormat format :
         {PF_PixelFormat_ARGB32, PrPixelFormat_BGRA_4444_16u, PrPixelFormat_VUYA_4444_32f}) {
        const Clip clip = clipOf(format, kW, kH, 2, 4);
        for (A_long motion : {2, 3, 4})
            for (int frame : {0, 1}) {
                SCOPED_TRACE(pixelFormatName(format) + " motion " + std::to_string(motion) +
                             " frame " + std::to_string(frame));
                const RenderResult smart = h.driver.render(clip, frame, withMotion(motion), Protocol::Smart);
                const RenderResult legacy = h.driver.render(clip, frame, withMotion(motion), Protocol::Legacy);
                ASSERT_EQ(smart.err, PF_Err_NONE) << smart.message;
                ASSERT_EQ(legacy.err, PF_Err_NONE) << legacy.message;
                ASSERT_EQ(legacy.frame.pixels.size(), clip.frameBytes());
                EXPECT_NE(std::count(legacy.frame.pixels.begin(), legacy.frame.pixels.end(), uint8_t{0}),
                          std::ptrdiff_t(legacy.frame.pixels.size()));
                EXPECT_EQ(legacy.frame.pixels, smart.frame.pixels);
                EXPECT_NOTHING_HELD(h.host);
            }
    }
}

// ---- Failures --------------------------------------------------------------

// A failure of the host's generic iteration: out of memory gives 4, in every
// mode and both protocols, and nothing stays held.
TEST(RenderFailure, IterationOutOfMemory) {
    Host h;
    const Clip clip = clipOf(PF_PixelFormat_ARGB128, kW, kH, 3, 5);
    for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
        for (A_long motion : {1, 2, 4}) {
            SCOPED_TRACE(protocolName(protocol) + " motion " + std::to_string(motion));
            h.host.faults().iterationResult = PF_Err_OUT_OF_MEMORY;
            EXPECT_EQ(h.driver.render(clip, 2, withMotion(motion), protocol).err,
                      PF_Err_OUT_OF_MEMORY);
            h.host.faults().iterationResult = PF_Err_NONE;
            EXPECT_NOTHING_HELD(h.host);
            EXPECT_EQ(h.driver.render(clip, 2, withMotion(motion), protocol).err, PF_Err_NONE);
        }
    }
}

// A cancel at every iteration the render starts. A cancel that lands on a
// band run gives 517; one that lands on the query of the processor count
// (whose result the runner ignores) leaves the render to run on the calling
// thread.
TEST(RenderFailure, CancelAtEveryIteration) {
    Host h;
    const Clip clip = clipOf(PrPixelFormat_VUYA_4444_8u, kW, kH, 3, 5);
    for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
        for (A_long motion : {1, 3}) {
            SCOPED_TRACE(protocolName(protocol) + " motion " + std::to_string(motion));
            const int64_t before = h.host.iterationsRun();
            ASSERT_EQ(h.driver.render(clip, 2, withMotion(motion), protocol).err, PF_Err_NONE);
            const int64_t total = h.host.iterationsRun() - before;
            ASSERT_GT(total, 0);
            // Every iteration of "Off"; of the motion step's many runs the
            // first ones, a sample, and the last.
            std::vector<int64_t> points;
            for (int64_t after = 0; after < total; after += after < 40 ? 1 : 1 + total / 20)
                points.push_back(after);
            points.push_back(total - 1);
            int cancelled = 0;
            for (int64_t after : points) {
                h.host.cancelIterationAfter(after);
                const PF_Err err = h.driver.render(clip, 2, withMotion(motion), protocol).err;
                h.host.cancelIterationAfter(-1);
                EXPECT_TRUE(err == PF_Err_NONE || err == PF_Interrupt_CANCEL)
                    << err << " cancelled after " << after;
                cancelled += err == PF_Interrupt_CANCEL ? 1 : 0;
                if (motion == 1 && after == total - 1) {
                    EXPECT_EQ(err, PF_Interrupt_CANCEL); // the field run comes last
                }
                EXPECT_NOTHING_HELD(h.host);
            }
            EXPECT_GT(cancelled, 0);
        }
    }
}

// An earlier frame a legacy host cannot give for want of memory, or because
// the user cancelled, ends the render with that code, also when a nearer frame
// is already checked out; nothing stays held.
TEST(RenderFailure, EarlierFrameCheckoutOutOfMemoryOrCancelled) {
    Host h;
    const Clip clip = clipOf(PrPixelFormat_VUYA_4444_32f, kW, kH, 3, 4);
    for (PF_Err code : {PF_Err_OUT_OF_MEMORY, PF_Interrupt_CANCEL})
        for (auto [motion, refused] : {std::pair{2, 1}, std::pair{3, 1}, std::pair{4, 1},
                                       std::pair{4, 0}}) {
            SCOPED_TRACE("code " + std::to_string(code) + " motion " + std::to_string(motion) +
                         " frame " + std::to_string(refused) + " refused");
            h.host.faults().refuseLayerAt = {{refused * h.host.inData().time_step, code}};
            const RenderResult r = h.driver.render(clip, 2, withMotion(motion), Protocol::Legacy);
            h.host.faults().refuseLayerAt.clear();
            EXPECT_EQ(r.err, code);
            EXPECT_NOTHING_HELD(h.host);
        }
}

// Every world and every memory handle the motion modes ask for may be
// refused: each refusal gives 4 and leaves nothing held. The sweep ends at
// the first render that asks for fewer.
TEST(RenderFailure, EveryRefusedWorldOrHandleGivesOutOfMemory) {
    Host h;
    const Clip clip = clipOf(PrPixelFormat_BGRA_4444_16u, kW, kH, 3, 6);
    for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
        for (bool handles : {false, true}) {
            int refused = 0;
            for (int n = 1; n < 200; ++n) {
                SCOPED_TRACE(protocolName(protocol) + (handles ? " handle " : " world ") +
                             std::to_string(n));
                if (handles)
                    h.host.failHandleRequest(n);
                else
                    h.host.failWorldRequest(n);
                const RenderResult r = h.driver.render(clip, 2, withMotion(4), protocol);
                h.host.failHandleRequest(0);
                h.host.failWorldRequest(0);
                EXPECT_NOTHING_HELD(h.host);
                if (r.err == PF_Err_NONE)
                    break;
                EXPECT_EQ(r.err, PF_Err_OUT_OF_MEMORY);
                ++refused;
            }
            EXPECT_GT(refused, 0) << "the render asked for no " << (handles ? "handle" : "world");
        }
    }
}

// A message thrown while a render runs means the render did not finish: it
// fails with 512 and shows the message, and nothing stays held.
TEST(RenderFailure, MessageThrownDuringARenderFailsIt) {
    const Clip clip = clipOf(PF_PixelFormat_ARGB32, kW, kH, 3, 5);
    // Smart "Off" checks its parameters out; legacy "Fast" its earlier frame.
    for (const auto& [protocol, motion] : {std::pair{Protocol::Smart, 1}, std::pair{Protocol::Legacy, 2}}) {
        SCOPED_TRACE(protocolName(protocol));
        RefHost host(HostProfile::afterEffects(), entryForThrowingHost());
        RenderDriver driver(host);
        host.faults().throwAt[CallbackSite::CheckoutParam] = [] { throw std::string("Disk full."); };
        const RenderResult r = driver.render(clip, 2, withMotion(motion), protocol);
        EXPECT_EQ(r.err, PF_Err_INTERNAL_STRUCT_DAMAGED);
        EXPECT_TRUE(r.showsMessage);
        EXPECT_EQ(r.message, "Disk full.");
        EXPECT_NOTHING_HELD(host);
    }
}

// A format reported wider than the frames' pixels would send the kernels
// past the buffers' ends: the row bytes cannot hold it, so 516 before any
// pixel is touched (the ledger would show a write past a row's end).
TEST(RenderBadInput, ReportedFormatTheRowsCannotHold) {
    Host h;
    const Clip clip = clipOf(PF_PixelFormat_ARGB32, kW, kH, 3, 6);
    for (PF_PixelFormat reported : {PF_PixelFormat_ARGB64, PF_PixelFormat_ARGB128}) {
        h.host.faults().reportedPixelFormat = reported;
        for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
            for (A_long motion : {1, 3}) {
                SCOPED_TRACE(pixelFormatName(reported) + " " + protocolName(protocol) +
                             " motion " + std::to_string(motion));
                EXPECT_EQ(h.driver.render(clip, 2, withMotion(motion), protocol).err,
                          PF_Err_BAD_CALLBACK_PARAM);
                EXPECT_NOTHING_HELD(h.host);
            }
        }
    }
}

// Legacy frames described wrongly, one fault at a time, in the layer or the
// output: 516, and the host's copy or fill never reached.
TEST(RenderBadInput, LegacyFrameDescriptionsThatCannotHoldTheirPixels) {
    using Spoil = void (*)(PF_EffectWorld& layer, PF_EffectWorld& output);
    struct Case {
        const char* name;
        PF_PixelFormat outputFormat;
        Spoil spoil;
    };
    const Case cases[] = {
        {"layer rows shorter than a row of pixels", PF_PixelFormat_ARGB32, [](PF_EffectWorld& l, PF_EffectWorld&) { l.rowbytes = kW * 4 - 4; }},
        {"negative output row bytes", PF_PixelFormat_ARGB32, [](PF_EffectWorld&, PF_EffectWorld& o) { o.rowbytes = -o.rowbytes; }},
        {"negative layer width", PF_PixelFormat_ARGB32, [](PF_EffectWorld& l, PF_EffectWorld&) { l.width = -3; }},
        {"negative output height", PF_PixelFormat_ARGB32, [](PF_EffectWorld&, PF_EffectWorld& o) { o.height = -1; }},
        {"layer without pixels", PF_PixelFormat_ARGB32, [](PF_EffectWorld& l, PF_EffectWorld&) { l.data = nullptr; }},
        {"inverted output extent hint", PF_PixelFormat_ARGB32, [](PF_EffectWorld&, PF_EffectWorld& o) { o.extent_hint.left = o.extent_hint.right + 1; }},
        {"inverted layer extent hint", PF_PixelFormat_ARGB32, [](PF_EffectWorld& l, PF_EffectWorld&) { l.extent_hint.bottom = -2; }},
        {"output in another format", PF_PixelFormat_ARGB64, [](PF_EffectWorld&, PF_EffectWorld&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
        ASSERT_EQ(host.paramsSetup().err, PF_Err_NONE);
        PF_EffectWorld layer = host.makeHostWorld(kW, kH, PF_PixelFormat_ARGB32, "layer");
        PF_EffectWorld output = host.makeHostWorld(kW, kH, c.outputFormat, "output");
        const PF_EffectWorld layerHeld = layer, outputHeld = output;
        c.spoil(layer, output);
        host.param(0).u.ld = layer;
        CommandCall call;
        call.output = &output;
        EXPECT_EQ(host.command(PF_Cmd_RENDER, call).err, PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(host.ledger().calls("copy") + host.ledger().calls("fill"), 0);
        host.param(0).u.ld = PF_LayerDef{};
        for (PF_EffectWorld world : {layerHeld, outputHeld})
            host.disposeHostWorld(&world);
        EXPECT_NOTHING_HELD(host);
    }
}

// ---- Bad input ---------------------------------------------------------------

// Parameter values the popups cannot hold: 516, and the output is the copy
// of the input. (Smart: an unknown "Motion Compensation" is refused already
// by pre-render, before any output exists.)
TEST(RenderBadInput, OutOfRangeParameters) {
    Host h;
    const PixelFormatInfo& format = *pixelFormatInfo(PrPixelFormat_VUYA_4444_16u);
    const Clip clip = clipOf(format.code, 17, 9, 3, 7);
    struct Case {
        A_long fields, motion;
    };
    const Case cases[] = {{0, 1}, {3, 1}, {-1, 4}, {3, 2}, {1, 0}, {2, 5}, {1, -3}};
    for (const Case& c : cases) {
        for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
            SCOPED_TRACE(protocolName(protocol) + " fields " + std::to_string(c.fields) +
                         " motion " + std::to_string(c.motion));
            const RenderResult r = h.driver.render(clip, 2, withMotion(c.motion, c.fields), protocol);
            EXPECT_EQ(r.err, PF_Err_BAD_CALLBACK_PARAM);
            const bool motionValid = c.motion >= 1 && c.motion <= 4;
            if (protocol == Protocol::Smart && !motionValid) {
                EXPECT_EQ(r.preRenderErr, PF_Err_BAD_CALLBACK_PARAM);
                EXPECT_TRUE(r.frame.pixels.empty());
                EXPECT_TRUE(r.preRenderDataFreed); // handed over before the refusal
            } else {
                EXPECT_TRUE(samePixels(r.frame.pixels, clip.frame(2), 17, format.bytesPerPixel));
            }
            EXPECT_NOTHING_HELD(h.host);
        }
    }
}

// A format the render does not know: "Off" refuses it with 516, the motion
// modes hand back the copy of the input with 0.
TEST(RenderBadInput, UnknownPixelFormat) {
    Host h;
    const PixelFormatInfo& format = *pixelFormatInfo(PF_PixelFormat_ARGB32);
    const Clip clip = clipOf(format.code, 16, 10, 3, 8);
    h.host.faults().reportedPixelFormat = PF_FOURCC_LE('x', 'y', 'z', 'w');
    for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
        for (A_long motion : {1, 2, 3, 4}) {
            SCOPED_TRACE(protocolName(protocol) + " motion " + std::to_string(motion));
            const RenderResult r = h.driver.render(clip, 2, withMotion(motion), protocol);
            EXPECT_EQ(r.err, motion == 1 ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE);
            EXPECT_TRUE(samePixels(r.frame.pixels, clip.frame(2), 16, format.bytesPerPixel));
            EXPECT_NOTHING_HELD(h.host);
        }
    }
}

// Empty and one-row frames in every mode: no crash, nothing written outside
// a buffer. A one-row frame has no row above or below its rebuilt row: it
// stays as it is with "Off".
TEST(RenderBadInput, EmptyAndOneRowFrames) {
    Host h;
    struct Size {
        A_long width, height;
    };
    for (Size size : {Size{0, 8}, Size{8, 0}, Size{0, 0}, Size{9, 1}, Size{1, 1}, Size{1, 2}}) {
        for (PF_PixelFormat code : {PF_PixelFormat_ARGB32, PrPixelFormat_BGRA_4444_32f}) {
            const PixelFormatInfo& format = *pixelFormatInfo(code);
            const Clip clip = clipOf(code, size.width, size.height, 3, 9);
            for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
                for (A_long motion : {1, 2, 4}) {
                    for (A_long fields : {1, 2}) {
                        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) +
                                     " " + pixelFormatName(code) + " " + protocolName(protocol) +
                                     " motion " + std::to_string(motion) + " fields " +
                                     std::to_string(fields));
                        const RenderResult r =
                            h.driver.render(clip, 2, withMotion(motion, fields), protocol);
                        EXPECT_EQ(r.err, PF_Err_NONE) << r.message;
                        EXPECT_EQ(r.frame.width, size.width);
                        EXPECT_EQ(r.frame.height, size.height);
                        if (motion == 1) {
                            EXPECT_TRUE(offAgrees(format, size.width, size.height,
                                                  clip.frame(2), int(fields), r.frame.pixels));
                        }
                        EXPECT_NOTHING_HELD(h.host);
                    }
                }
            }
        }
    }
}

} // namespace
