// The reference host's render side, driven against a small plug-in written
// here that records what the host hands it: pre-render requests and their
// results, layer pixels by id with origins, the output buffer, the legacy
// parameter array and earlier frames, the pre-render data's deleter.
#include "host/PluginEntry.h"
#include "refhost/RenderDriver.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using namespace refhost;

namespace {

constexpr A_long kWidth = 6, kHeight = 4;

struct SeenWorld {
    bool present = false;
    PF_EffectWorld world{};
    std::vector<uint8_t> pixels; // packed copy
};

SeenWorld see(const PF_EffectWorld* w, int bpp) {
    SeenWorld seen;
    if (w == nullptr)
        return seen;
    seen.present = true;
    seen.world = *w;
    for (A_long y = 0; y < w->height; ++y) {
        const uint8_t* row = reinterpret_cast<const uint8_t*>(w->data) + y * w->rowbytes;
        seen.pixels.insert(seen.pixels.end(), row, row + w->width * bpp);
    }
    return seen;
}

// Output byte i of row y, whatever the format.
uint8_t outputByte(int y, int i) { return uint8_t(y * 7 + i); }

void paintOutput(PF_EffectWorld* out, int bpp) {
    for (A_long y = 0; y < out->height; ++y)
        for (int i = 0; i < out->width * bpp; ++i)
            reinterpret_cast<uint8_t*>(out->data)[y * out->rowbytes + i] = outputByte(y, i);
}

struct FakePlugin {
    int bpp = 4;
    // Pre-render: (id, frames back) to ask for, and the result rectangle to answer.
    std::vector<std::pair<A_long, A_long>> requests{{0, 0}, {999, 1}, {998, 2}};
    std::optional<PF_LRect> resultRect;
    bool checkinAll = true;
    bool writeInput = false;
    A_long extraPixelId = -1; // asked for in render without a request
    A_long legacyFramesBack = 1;
    PF_Err renderErr = PF_Err_NONE;
    const char* message = nullptr;

    // What it saw.
    std::map<A_long, PF_CheckoutResult> preResults;
    std::map<A_long, PF_Err> pixelResults;
    std::map<A_long, SeenWorld> pixels;
    SeenWorld output, legacyInput, earlier;
    PF_Err earlierResult = -1;
    bool preRenderDataArrived = false;
    PF_InData inData{};
};

FakePlugin* fake = nullptr;
int deleterCalls = 0;
int preRenderToken = 0;

void deletePreRenderData(void* data) {
    if (data == &preRenderToken)
        ++deleterCalls;
}

PF_Err fakeParamsSetup(PF_InData* in, PF_OutData* out) {
    PF_ParamDef def{};
    def.param_type = PF_Param_POPUP;
    def.u.pd.u.namesptr = "a|b";
    in->inter.add_param(in->effect_ref, -1, &def);
    in->inter.add_param(in->effect_ref, -1, &def);
    def = PF_ParamDef{};
    def.param_type = PF_Param_CHECKBOX;
    def.u.bd.u.nameptr = "c";
    in->inter.add_param(in->effect_ref, -1, &def);
    out->num_params = 4;
    return PF_Err_NONE;
}

PF_Err fakePreRender(PF_InData* in, PF_PreRenderExtra* extra) {
    for (const auto& [id, back] : fake->requests) {
        PF_RenderRequest request = extra->input->output_request;
        request.rect.left -= 1;
        request.rect.top -= 1;
        request.rect.right += 1;
        request.rect.bottom += 2;
        PF_CheckoutResult result{};
        if (PF_Err err = extra->cb->checkout_layer(in->effect_ref, 0, id, &request,
                                                   in->current_time - back * in->time_step,
                                                   in->time_step, in->time_scale, &result))
            return err;
        fake->preResults[id] = result;
    }
    extra->output->result_rect = fake->resultRect.value_or(fake->preResults[0].result_rect);
    extra->output->pre_render_data = &preRenderToken;
    extra->output->delete_pre_render_data_func = deletePreRenderData;
    return PF_Err_NONE;
}

PF_Err fakeSmartRender(PF_InData* in, PF_SmartRenderExtra* extra) {
    fake->preRenderDataArrived = extra->input->pre_render_data == &preRenderToken;
    std::vector<A_long> ids;
    for (const auto& [id, back] : fake->requests)
        ids.push_back(id);
    if (fake->extraPixelId >= 0)
        ids.push_back(fake->extraPixelId);
    for (A_long id : ids) {
        PF_EffectWorld* w = nullptr;
        fake->pixelResults[id] = extra->cb->checkout_layer_pixels(in->effect_ref, id, &w);
        fake->pixels[id] = see(w, fake->bpp);
        if (w != nullptr && fake->writeInput)
            reinterpret_cast<uint8_t*>(w->data)[0] ^= 1;
    }
    PF_EffectWorld* out = nullptr;
    if (PF_Err err = extra->cb->checkout_output(in->effect_ref, &out))
        return err;
    fake->output = see(out, fake->bpp);
    paintOutput(out, fake->bpp);
    if (fake->checkinAll)
        for (A_long id : ids)
            if (fake->pixelResults[id] == PF_Err_NONE)
                extra->cb->checkin_layer_pixels(in->effect_ref, id);
    return fake->renderErr;
}

PF_Err fakeLegacyRender(PF_InData* in, PF_ParamDef* params[], PF_LayerDef* output) {
    fake->legacyInput = see(&params[0]->u.ld, fake->bpp);
    fake->output = see(output, fake->bpp);
    PF_ParamDef earlier{};
    fake->earlierResult = in->inter.checkout_param(
        in->effect_ref, 0, in->current_time - fake->legacyFramesBack * in->time_step,
        in->time_step, in->time_scale, &earlier);
    if (fake->earlierResult == PF_Err_NONE) {
        fake->earlier = see(&earlier.u.ld, fake->bpp);
        in->inter.checkin_param(in->effect_ref, &earlier);
    }
    paintOutput(output, fake->bpp);
    return fake->renderErr;
}

PF_Err fakeEntry(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                 PF_LayerDef* output, void* extra) {
    fake->inData = *in;
    if (fake->message != nullptr && (cmd == PF_Cmd_SMART_PRE_RENDER || cmd == PF_Cmd_RENDER)) {
        std::strcpy(out->return_msg, fake->message);
        out->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    }
    switch (cmd) {
    case PF_Cmd_PARAMS_SETUP: return fakeParamsSetup(in, out);
    case PF_Cmd_SMART_PRE_RENDER: return fakePreRender(in, static_cast<PF_PreRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER: return fakeSmartRender(in, static_cast<PF_SmartRenderExtra*>(extra));
    case PF_Cmd_RENDER: return fakeLegacyRender(in, params, output);
    default: return PF_Err_NONE;
    }
}

// Frame k of the clip: byte i is k * 64 + i.
Clip testClip(PF_PixelFormat format, int frames) {
    Clip clip(format, kWidth, kHeight);
    for (int k = 0; k < frames; ++k) {
        std::vector<uint8_t> bytes(clip.frameBytes());
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = uint8_t(k * 64 + i);
        clip.addFrame(bytes);
    }
    return clip;
}

// The clip's frame k cut to a rectangle, packed.
std::vector<uint8_t> cut(const Clip& clip, int k, const PF_LRect& r) {
    const size_t bpp = size_t(clip.formatInfo().bytesPerPixel);
    std::vector<uint8_t> bytes;
    for (A_long y = r.top; y < r.bottom; ++y)
        for (size_t i = size_t(r.left) * bpp; i < size_t(r.right) * bpp; ++i)
            bytes.push_back(uint8_t(k * 64 + y * clip.rowBytes() + i));
    return bytes;
}

std::vector<uint8_t> paintedOutput(A_long width, A_long height, int bpp) {
    std::vector<uint8_t> bytes;
    for (A_long y = 0; y < height; ++y)
        for (int i = 0; i < width * bpp; ++i)
            bytes.push_back(outputByte(y, i));
    return bytes;
}

void expectRect(const PF_LRect& r, A_long left, A_long top, A_long right, A_long bottom) {
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

class RenderDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake = &plugin;
        deleterCalls = 0;
    }
    void TearDown() override { fake = nullptr; }
    FakePlugin plugin;
};

} // namespace

TEST_F(RenderDriverTest, SmartRequestsClippedEmptyBeforeTheClipPixelsByIdWithOrigins) {
    RefHost host(HostProfile::afterEffects(), &fakeEntry);
    RenderDriver driver(host);
    const Clip clip = testClip(PF_PixelFormat_ARGB32, 3);
    driver.settings().outputRequest = PF_LRect{2, 1, 4, 3};
    plugin.resultRect = PF_LRect{1, 1, 5, 3};
    const RenderResult r = driver.render(clip, 1, RenderParams{}, Protocol::Smart);
    ASSERT_EQ(r.err, PF_Err_NONE);
    EXPECT_EQ(plugin.inData.current_time, 1001);

    ASSERT_EQ(r.layerRequests.size(), 3u);
    const int frames[] = {1, 0, -1};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const LayerRequest& q = r.layerRequests[size_t(k)];
        EXPECT_EQ(q.id, plugin.requests[size_t(k)].first);
        EXPECT_EQ(q.frameIndex, frames[k]);
        EXPECT_EQ(q.time, frames[k] * 1001);
        expectRect(q.request.rect, 1, 0, 5, 5); // the request as the plug-in grew it
        if (frames[k] >= 0) {
            expectRect(q.result.result_rect, 1, 0, 5, 4); // clipped to the layer
            expectRect(q.result.max_result_rect, 0, 0, kWidth, kHeight);
        } else {
            expectRect(q.result.result_rect, 0, 0, 0, 0);
            expectRect(q.result.max_result_rect, 0, 0, 0, 0);
        }
    }

    const PF_LRect cutRect{1, 0, 5, 4};
    for (A_long id : {0, 999}) {
        SCOPED_TRACE(id);
        const SeenWorld& w = plugin.pixels[id];
        ASSERT_TRUE(w.present);
        EXPECT_EQ(w.world.origin_x, 1);
        EXPECT_EQ(w.world.origin_y, 0);
        EXPECT_EQ(w.world.width, 4);
        EXPECT_EQ(w.world.height, 4);
        EXPECT_GT(w.world.rowbytes, 4 * 4); // padded rows
        EXPECT_EQ(w.pixels, cut(clip, id == 0 ? 1 : 0, cutRect));
    }
    EXPECT_EQ(plugin.pixelResults[998], PF_Err_NONE);
    EXPECT_FALSE(plugin.pixels[998].present); // nothing of the layer before its start

    ASSERT_TRUE(plugin.output.present);
    EXPECT_EQ(plugin.output.world.width, 4);
    EXPECT_EQ(plugin.output.world.height, 2);
    EXPECT_EQ(plugin.output.world.origin_x, 1);
    EXPECT_EQ(plugin.output.world.origin_y, 1);
    EXPECT_EQ(r.frame.format, PF_PixelFormat_ARGB32);
    EXPECT_EQ(r.frame.originX, 1);
    EXPECT_EQ(r.frame.originY, 1);
    EXPECT_EQ(r.frame.pixels, paintedOutput(4, 2, 4));

    EXPECT_TRUE(plugin.preRenderDataArrived);
    EXPECT_TRUE(r.preRenderDataFreed);
    EXPECT_EQ(deleterCalls, 1);
    EXPECT_EQ(r.layerPixelsLeftCheckedOut, 0);
    EXPECT_EQ(host.worlds().count(WorldStore::Owner::Host), 0);
    EXPECT_NOTHING_HELD(host);
}

TEST_F(RenderDriverTest, SmartFloatFramesAndTheWholeLayerByDefault) {
    RefHost host(HostProfile::afterEffects(), &fakeEntry);
    RenderDriver driver(host);
    plugin.bpp = 16;
    plugin.requests = {{0, 0}, {999, 1}};
    const Clip clip = testClip(PrPixelFormat_VUYA_4444_32f, 2);
    const RenderResult r = driver.render(clip, 1, RenderParams{}, Protocol::Smart);
    ASSERT_EQ(r.err, PF_Err_NONE);
    EXPECT_EQ(plugin.pixels[0].pixels, cut(clip, 1, PF_LRect{0, 0, kWidth, kHeight}));
    EXPECT_EQ(plugin.pixels[999].pixels, cut(clip, 0, PF_LRect{0, 0, kWidth, kHeight}));
    EXPECT_EQ(r.frame.width, kWidth);
    EXPECT_EQ(r.frame.height, kHeight);
    EXPECT_EQ(r.frame.format, PrPixelFormat_VUYA_4444_32f);
    EXPECT_EQ(r.frame.pixels, paintedOutput(kWidth, kHeight, 16));
    EXPECT_NOTHING_HELD(host);
}

TEST_F(RenderDriverTest, HostTakesBackWhatIsLeftAndNoticesWritesIntoInputs) {
    RefHost host(HostProfile::afterEffects(), &fakeEntry);
    RenderDriver driver(host);
    plugin.checkinAll = false;
    plugin.writeInput = true;
    plugin.extraPixelId = 5; // never requested in pre-render
    const RenderResult r = driver.render(testClip(PF_PixelFormat_ARGB32, 3), 2, RenderParams{},
                                         Protocol::Smart);
    EXPECT_EQ(plugin.pixelResults[5], PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(r.pixelCheckouts, std::vector<A_long>({0, 999, 998, 5}));
    EXPECT_EQ(r.layerPixelsLeftCheckedOut, 3);
    EXPECT_EQ(host.worlds().count(WorldStore::Owner::Host), 0);
    const std::string report = host.ledger().report();
    EXPECT_NE(report.find("not requested in pre-render"), std::string::npos) << report;
    EXPECT_NE(report.find("wrote into the input frame id 0"), std::string::npos) << report;
    EXPECT_NE(report.find("wrote into the input frame id 999"), std::string::npos) << report;
}

TEST_F(RenderDriverTest, LegacyLayerOutputOriginExtentHintsAndEarlierFrames) {
    RefHost host(HostProfile::afterEffects(), &fakeEntry);
    RenderDriver driver(host);
    RenderSettings& s = driver.settings();
    s.outputOrigin = PF_Point{2, 1};
    s.inputExtentHint = PF_Rect{0, 1, 5, 3};
    s.outputExtentHint = PF_Rect{1, 0, 6, 4};
    s.downsampleY = PF_RationalScale{1, 2};
    const Clip clip = testClip(PF_PixelFormat_ARGB32, 3);
    const RenderResult r = driver.render(clip, 2, RenderParams{}, Protocol::Legacy);
    ASSERT_EQ(r.err, PF_Err_NONE);

    EXPECT_EQ(plugin.legacyInput.pixels, cut(clip, 2, PF_LRect{0, 0, kWidth, kHeight}));
    EXPECT_EQ(plugin.legacyInput.world.extent_hint.top, 1);
    EXPECT_EQ(plugin.legacyInput.world.extent_hint.right, 5);
    EXPECT_EQ(plugin.output.world.width, kWidth + 4);
    EXPECT_EQ(plugin.output.world.height, kHeight + 2);
    EXPECT_EQ(plugin.output.world.extent_hint.left, 1);
    EXPECT_EQ(plugin.output.world.extent_hint.right, 6);
    EXPECT_EQ(plugin.inData.output_origin_x, 2);
    EXPECT_EQ(plugin.inData.output_origin_y, 1);
    EXPECT_EQ(plugin.inData.extent_hint.left, 0);
    EXPECT_EQ(plugin.inData.extent_hint.bottom, 3);
    EXPECT_EQ(plugin.inData.downsample_y.den, 2u);

    EXPECT_EQ(plugin.earlierResult, PF_Err_NONE);
    EXPECT_EQ(plugin.earlier.pixels, cut(clip, 1, PF_LRect{0, 0, kWidth, kHeight}));
    ASSERT_EQ(r.layerParamCheckouts.size(), 1u);
    EXPECT_EQ(r.layerParamCheckouts[0].frameIndex, 1);

    EXPECT_EQ(r.frame.originX, -2);
    EXPECT_EQ(r.frame.originY, -1);
    EXPECT_EQ(r.frame.width, kWidth + 4);
    EXPECT_EQ(r.frame.pixels, paintedOutput(kWidth + 4, kHeight + 2, 4));
    EXPECT_EQ(host.param(0).u.ld.data, nullptr);
    EXPECT_EQ(host.inData().output_origin_x, 0);
    EXPECT_EQ(host.worlds().count(WorldStore::Owner::Host), 0);
    EXPECT_NOTHING_HELD(host);
}

TEST_F(RenderDriverTest, LegacyEarlierFramesRefusedBeforeTheClipAndOnDemand) {
    RefHost host(HostProfile::afterEffects(), &fakeEntry);
    RenderDriver driver(host);
    const Clip clip = testClip(PF_PixelFormat_ARGB64, 3);
    plugin.bpp = 8;
    plugin.legacyFramesBack = 2;
    RenderResult r = driver.render(clip, 1, RenderParams{}, Protocol::Legacy);
    EXPECT_EQ(plugin.earlierResult, PF_Err_BAD_CALLBACK_PARAM);
    ASSERT_EQ(r.layerParamCheckouts.size(), 1u);
    EXPECT_EQ(r.layerParamCheckouts[0].frameIndex, -1);

    driver.settings().refuseEarlierFrames = PF_Err_OUT_OF_MEMORY;
    plugin.legacyFramesBack = 1;
    r = driver.render(clip, 2, RenderParams{}, Protocol::Legacy);
    EXPECT_EQ(plugin.earlierResult, PF_Err_OUT_OF_MEMORY);
    plugin.legacyFramesBack = 0; // the current frame is never refused
    r = driver.render(clip, 2, RenderParams{}, Protocol::Legacy);
    EXPECT_EQ(plugin.earlierResult, PF_Err_NONE);
    EXPECT_EQ(plugin.earlier.pixels, cut(clip, 2, PF_LRect{0, 0, kWidth, kHeight}));
    EXPECT_NOTHING_HELD(host);
}

TEST_F(RenderDriverTest, ParametersResultCodeAndMessagePassThrough) {
    RefHost host(HostProfile::afterEffects(), &fakeEntry);
    RenderDriver driver(host);
    driver.settings().workerThreads = 3;
    plugin.message = "Shown by the host.";
    plugin.renderErr = PF_Err_OUT_OF_MEMORY;
    RenderParams params;
    params.fields = 2;
    params.motion = 4;
    params.correctMotionErrors = true;
    const Clip clip = testClip(PF_PixelFormat_ARGB32, 2);
    for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
        deleterCalls = 0;
        const RenderResult r = driver.render(clip, 1, params, protocol);
        EXPECT_EQ(r.err, PF_Err_OUT_OF_MEMORY);
        EXPECT_TRUE(r.showsMessage);
        EXPECT_EQ(r.message, "Shown by the host.");
        EXPECT_EQ(deleterCalls, protocol == Protocol::Smart ? 1 : 0);
        EXPECT_EQ(host.param(1).u.pd.value, 2);
        EXPECT_EQ(host.param(2).u.pd.value, 4);
        EXPECT_EQ(host.param(3).u.bd.value, 1);
        EXPECT_EQ(host.workerThreads(), 3);
    }
    EXPECT_THROW(driver.render(clip, 2, params, Protocol::Smart), std::out_of_range);
    EXPECT_NOTHING_HELD(host);
}

// The plug-in itself: whatever its render commands answer, every format and
// both protocols leave nothing held and no misuse behind.
TEST(RenderDriverPlugin, EveryFormatBothProtocolsNothingHeld) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    RenderDriver driver(host);
    for (const PixelFormatInfo& format : allPixelFormats()) {
        SCOPED_TRACE(fourCCText(format.code));
        const Clip clip = testClip(format.code, 2);
        for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
            const RenderResult r = driver.render(clip, 1, RenderParams{}, protocol);
            EXPECT_TRUE(r.err == PF_Err_NONE || r.showsMessage) << r.err;
            if (r.err == PF_Err_NONE && !r.showsMessage) {
                EXPECT_EQ(r.frame.width, kWidth);
                EXPECT_EQ(r.frame.height, kHeight);
            }
            EXPECT_NOTHING_HELD(host);
        }
    }
}
