// The render commands' dealings with the host: what smart pre-render asks for
// and answers per mode, which earlier frames the render then checks out, and
// the result codes and leftovers of failures and bad input.
#include "refhost/RenderDriver.h"
#include "tests/refhost/RenderTestFrames.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

using namespace refhost;

using namespace rendertest;

namespace {

constexpr A_long kW = 32, kH = 24;

// Motion modes ask pre-render for the whole layer now and for the earlier
// frames (id 1000 - k at k time steps back, the farthest first), report extra
// pixels, and answer the whole layer. (Which of them the render then checks
// out: tests/deinterlace, MotionPipelineSteps.)
TEST(SmartPreRender, MotionModesAskForTheWholeLayerAndTheEarlierFrames) {
    DrivenHost h;
    const Clip clip = clipOf(PF_PixelFormat_ARGB64, kW, kH, 4, 3);
    const PF_LRect layer{0, 0, kW, kH};
    h.driver.settings().outputRequest = PF_LRect{4, 3, 10, 9};
    const int current = 3;
    for (A_long motion : {2, 3, 4}) {
        SCOPED_TRACE("motion " + std::to_string(motion));
        const RenderResult r = h.driver.render(clip, current, withMotion(motion), Protocol::Smart);
        ASSERT_EQ(r.err, PF_Err_NONE) << r.message;
        std::vector<A_long> asked;
        for (const LayerRequest& q : r.layerRequests) {
            asked.push_back(q.id);
            EXPECT_EQ(q.frameIndex, current - (q.id == 0 ? 0 : 1000 - q.id));
            EXPECT_EQ(q.time, q.frameIndex * h.host.inData().time_step);
            // The earlier frames are asked for the current frame's whole area.
            EXPECT_EQ(rectText(q.request.rect),
                      rectText(q.id == 0 ? PF_LRect{-100000, -100000, 100000, 100000} : layer));
        }
        const std::vector<A_long> expected =
            motion == 4 ? std::vector<A_long>{0, 998, 999} : std::vector<A_long>{0, 999};
        EXPECT_EQ(asked, expected);
        EXPECT_EQ(rectText(r.preRender.max_result_rect), rectText(layer));
        EXPECT_EQ(rectText(r.preRender.result_rect), rectText(layer));
        EXPECT_NE(r.preRender.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS, 0);
        EXPECT_NOTHING_HELD(h.host);
    }
}

// ---- Failures --------------------------------------------------------------
// (A failing or cancelled host iteration, the band runner every mode shares:
// tests/deinterlace, MotionPipelineResources.)

// An earlier frame a legacy host cannot give for want of memory, or because
// the user cancelled, ends the render with that code, also when a nearer frame
// is already checked out; nothing stays held.
TEST(RenderFailure, EarlierFrameCheckoutOutOfMemoryOrCancelled) {
    DrivenHost h;
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

// ---- Bad input ---------------------------------------------------------------

// A format reported wider than the frames' pixels would send the kernels
// past the buffers' ends: the row bytes cannot hold it, so 516 before any
// pixel is touched (the ledger would show a write past a row's end). A format
// the render does not know: "Off" refuses it with 516, the motion modes hand
// back the copy of the input with 0.
TEST(RenderBadInput, ReportedFormatTheRowsCannotHoldOrUnknown) {
    DrivenHost h;
    const Clip clip = clipOf(PF_PixelFormat_ARGB32, kW, kH, 3, 6);
    const PF_PixelFormat unknown = PF_FOURCC_LE('x', 'y', 'z', 'w');
    for (PF_PixelFormat reported :
         {PF_PixelFormat(PF_PixelFormat_ARGB64), PF_PixelFormat(PF_PixelFormat_ARGB128), unknown}) {
        h.host.faults().reportedPixelFormat = reported;
        for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
            for (A_long motion : {1, 2, 3, 4}) {
                SCOPED_TRACE(pixelFormatName(reported) + " " + protocolName(protocol) +
                             " motion " + std::to_string(motion));
                const RenderResult r = h.driver.render(clip, 2, withMotion(motion), protocol);
                EXPECT_EQ(r.err, reported == unknown && motion != 1 ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM);
                if (reported == unknown) {
                    EXPECT_TRUE(samePixels(r.frame.pixels, clip.frame(2), kW, 4));
                }
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

// Parameter values the popups cannot hold: 516, and the output is the copy
// of the input. (Smart: an unknown "Motion Compensation" is refused already
// by pre-render, before any output exists.)
TEST(RenderBadInput, OutOfRangeParameters) {
    DrivenHost h;
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

// Empty and one-row frames in every mode: no crash, nothing written outside
// a buffer. A one-row frame has no row above or below its rebuilt row: it
// stays as it is with "Off".
TEST(RenderBadInput, EmptyAndOneRowFrames) {
    DrivenHost h;
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
                        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height << " "
                                     << pixelFormatName(code) << " " << protocolName(protocol)
                                     << " motion " << motion << " fields " << fields);
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
