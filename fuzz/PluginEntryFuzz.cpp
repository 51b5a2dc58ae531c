// libFuzzer target for the plug-in's entry point under hostile hosts. The
// reference host plays a host whose profile, injected faults, callback
// tables, input record, frame descriptions, parameter arrays and command
// selectors all come from the input; the plug-in must answer every command
// with a code: no crash, no access outside a buffer, nothing left held.
// Build and run: see VELMORA_FUZZ in the top-level CMakeLists.txt.
//
// Frames the host describes wrongly stay within their memory: a description
// may shrink a frame, lie about its format (FaultPlan::reportedPixelFormat)
// or be nonsense (negative sizes, rows shorter than a row of pixels, no
// data), but never claims more bytes than the host allocated; no plug-in
// can defend against that.
#include "refhost/PluginLibrary.h"
#include "refhost/RenderDriver.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace refhost;

namespace {

// The plug-in is loaded once, as a host loads it: linked in beside the
// reference host, the two sides' same-named helpers would collide.
PF_EntryFunc pluginEntry() {
    static const PluginLibrary library(VELMORA_PLUGIN_PATH);
    return library.entry();
}

// Reads the fuzzer's bytes as choices; zeros once they run out, and zeros
// choose a well-behaved host, so that short inputs still render.
class Choices {
public:
    Choices(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    bool chance(int outOf256) { return byte() >= 256 - outOf256; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | byte();
        return v;
    }
    // A value in [low, high].
    A_long range(A_long low, A_long high) {
        return low + A_long(u32() % uint32_t(int64_t(high) - low + 1));
    }
    // Mostly small values, sometimes any 32-bit one.
    A_long value(A_long low, A_long high) { return chance(24) ? A_long(u32()) : range(low, high); }
    bool done() const { return pos_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

const PF_PixelFormat kFormats[] = {
    PF_PixelFormat_ARGB32,        PrPixelFormat_BGRA_4444_8u,  PrPixelFormat_VUYA_4444_8u,
    PF_PixelFormat_ARGB64,        PrPixelFormat_ARGB_4444_16u, PrPixelFormat_BGRA_4444_16u,
    PrPixelFormat_VUYA_4444_16u,  PF_PixelFormat_ARGB128,      PrPixelFormat_ARGB_4444_32f,
    PrPixelFormat_BGRA_4444_32f,  PrPixelFormat_VUYA_4444_32f};
constexpr int kFormatCount = int(sizeof kFormats / sizeof kFormats[0]);

[[noreturn]] void finding(const std::string& what) {
    std::fprintf(stderr, "PluginEntryFuzz: %s\n", what.c_str());
    std::abort();
}

HostProfile profileOf(Choices& in) {
    const uint8_t kind = in.byte() % 3;
    HostProfile profile = kind == 0 ? HostProfile::afterEffects()
                          : kind == 1 ? HostProfile::premiere()
                                      : HostProfile::keyG();
    if (in.chance(32))
        profile.withoutBasicSuite();
    for (const char* suite : {kPFWorldSuite, kPFPixelFormatSuite, kPFParamUtilsSuite})
        if (in.chance(40))
            profile.withholding(suite);
    if (in.chance(48))
        profile.withoutIteration();
    profile.withWorkers(in.range(1, 3));
    profile.withRowPadding(4 * in.range(0, 12));
    profile.version.major = A_short(in.chance(32) ? in.range(0, 20) : 13);
    return profile;
}

void planFaults(Choices& in, FaultPlan& faults) {
    for (const char* suite : {kPFWorldSuite, kPFPixelFormatSuite, kPFParamUtilsSuite}) {
        if (in.chance(24))
            faults.failAcquisition.insert(suite);
        if (in.chance(24))
            faults.nullAcquisition.insert(suite);
    }
    if (in.chance(32))
        faults.failWorldAt = in.range(1, 8);
    if (in.chance(32))
        faults.failHandleAt = in.range(1, 8);
    if (in.chance(24))
        faults.iterationResult = in.chance(128) ? PF_Err_OUT_OF_MEMORY : PF_Interrupt_CANCEL;
    if (in.chance(48))
        faults.reportedPixelFormat = in.chance(32) ? PF_PixelFormat(in.u32())
                                                   : kFormats[in.byte() % kFormatCount];
}

// Callback tables with holes: copies the plug-in sees instead of the host's.
struct Tables {
    PF_UtilCallbacks utils{};
    SPBasicSuite basic{};
};

void punchHoles(Choices& in, RefHost& host, Tables& tables) {
    if (!in.chance(48))
        return;
    PF_InData& inData = host.inData();
    if (inData.utils != nullptr && inData.utils != &tables.utils) {
        tables.utils = *inData.utils;
        inData.utils = &tables.utils;
    }
    if (inData.pica_basicP != nullptr && inData.pica_basicP != &tables.basic) {
        tables.basic = *inData.pica_basicP;
        inData.pica_basicP = &tables.basic;
    }
    PF_UtilCallbacks& u = tables.utils;
    switch (in.byte() % 24) {
    case 0: inData.utils = nullptr; break;
    case 1: u.copy = nullptr; break;
    case 2: u.fill = nullptr; break;
    case 3: u.new_world = nullptr; break;
    case 4: u.dispose_world = nullptr; break;
    case 5: u.host_new_handle = nullptr; break;
    case 6: u.host_lock_handle = nullptr; break;
    case 7: u.host_unlock_handle = nullptr; break;
    case 8: u.host_dispose_handle = nullptr; break;
    case 9: u.ansi.sqrt = nullptr; break;
    case 10: u.ansi.ceil = nullptr; break;
    case 11: u.ansi.floor = nullptr; break;
    case 12: u.ansi.strcpy = nullptr; break;
    case 13: u.iterate_generic = nullptr; break;
    case 14: inData.inter.checkout_param = nullptr; break;
    case 15: inData.inter.checkin_param = nullptr; break;
    case 16: inData.inter.add_param = nullptr; break;
    case 17: tables.basic.AcquireSuite = nullptr; break;
    case 18: tables.basic.ReleaseSuite = nullptr; break;
    case 19: inData.pica_basicP = nullptr; break;
    case 20: host.preRenderCallbacks()->checkout_layer = nullptr; break;
    case 21: host.smartRenderCallbacks()->checkout_layer_pixels = nullptr; break;
    case 22: host.smartRenderCallbacks()->checkin_layer_pixels = nullptr; break;
    default: host.smartRenderCallbacks()->checkout_output = nullptr; break;
    }
}

// Left, top, right, bottom: a braced list evaluates its elements in order.
PF_Rect smallRect(Choices& in) {
    return PF_Rect{in.range(-6, 20), in.range(-6, 20), in.range(-6, 20), in.range(-6, 20)};
}

// A frame the host made, then described as the input says. `held` keeps the
// true description for the disposal.
struct FuzzFrame {
    PF_EffectWorld world{};
    PF_EffectWorld held{};
};

void makeFrame(Choices& in, RefHost& host, FuzzFrame& frame) {
    const PF_PixelFormat format = kFormats[in.byte() % kFormatCount];
    const int bytes = pixelFormatInfo(format)->bytesPerPixel;
    frame.held = host.makeHostWorld(12 - in.range(0, 12), 10 - in.range(0, 10), format, "fuzz frame");
    PF_EffectWorld& w = frame.world;
    w = frame.held;
    for (int n = in.byte() % 4; n > 0; --n) {
        switch (in.byte() % 8) {
        case 0: w.width = in.range(-3, frame.held.width); break;
        case 1: w.height = in.range(-3, frame.held.height); break;
        case 2:
            // Shorter rows than the host made are a lie only a wider reported
            // format can expose; negative ones are plain nonsense.
            w.rowbytes = in.chance(64) ? -in.range(1, 200)
                                       : in.range(std::max<A_long>(w.width, 0) * bytes, frame.held.rowbytes);
            break;
        case 3: w.data = nullptr; break;
        case 4: w.extent_hint = smallRect(in); break;
        case 5: w.world_flags ^= PF_WorldFlag_DEEP; break;
        case 6:
            w.origin_x = in.value(-8, 8);
            w.origin_y = in.value(-8, 8);
            break;
        default: break;
        }
    }
    if (w.width > frame.held.width || w.height > frame.held.height || w.rowbytes > frame.held.rowbytes)
        w = frame.held;
}

// Every channel of a clip frame from the input.
void fillFrom(Choices& in, std::vector<uint8_t>& pixels, const Clip& clip) {
    const PixelFormatInfo& info = clip.formatInfo();
    for (A_long y = 0; y < clip.height(); ++y)
        for (A_long x = 0; x < clip.width() * 4; ++x) {
            uint8_t* channel =
                pixels.data() + size_t(y) * clip.rowBytes() + size_t(x) * size_t(info.bytesPerPixel / 4);
            const uint8_t v = in.byte();
            // Float channels hold ordinary values: NaN pixels are not a host fault.
            if (info.depth == ChannelDepth::Float) {
                const float f = float(v) / 255.0f;
                std::memcpy(channel, &f, sizeof f);
            } else if (info.depth == ChannelDepth::Bits16) {
                const uint16_t s = uint16_t(v) * 128;
                std::memcpy(channel, &s, sizeof s);
            } else {
                *channel = v;
            }
        }
}

void rawCommand(Choices& in, RefHost& host) {
    PF_InData& inData = host.inData();
    const PF_Cmd cmd = in.chance(16) ? PF_Cmd(in.u32()) : PF_Cmd(in.byte() % 28);
    inData.num_params = in.range(-1, 6);
    inData.current_time = in.value(-3000, 3000);
    inData.time_step = in.value(-10, 3000);
    inData.extent_hint = smallRect(in);
    inData.output_origin_x = in.value(-4, 4);
    inData.output_origin_y = in.value(-4, 4);
    inData.downsample_x = {in.range(0, 3), A_u_long(in.range(0, 3))};
    inData.downsample_y = {in.range(0, 3), A_u_long(in.range(0, 3))};

    FuzzFrame layer, output;
    makeFrame(in, host, layer);
    makeFrame(in, host, output);
    PF_ParamDef defs[4] = {host.param(0), {}, {}, {}};
    defs[0].u.ld = layer.world;
    for (int i = 1; i < 4; ++i) {
        defs[i].param_type = in.chance(128) ? PF_Param_POPUP : PF_Param_CHECKBOX;
        defs[i].u.pd.value = in.range(-1, 5);
    }
    PF_ParamDef* params[4];
    for (int i = 0; i < 4; ++i)
        params[i] = in.chance(24) ? nullptr : &defs[i];

    PF_UserChangedParamExtra changed{in.range(-1, 5)};
    PF_PreRenderInput preInput{};
    preInput.output_request.rect = PF_LRect{in.value(-5, 20), in.value(-5, 20), in.value(-5, 20),
                                            in.value(-5, 20)};
    PF_PreRenderOutput preOutput{};
    PF_PreRenderExtra preExtra{in.chance(16) ? nullptr : &preInput,
                               in.chance(16) ? nullptr : &preOutput,
                               in.chance(16) ? nullptr : host.preRenderCallbacks()};
    PF_SmartRenderInput smartInput{};
    PF_SmartRenderExtra smartExtra{in.chance(16) ? nullptr : &smartInput,
                                   in.chance(16) ? nullptr : host.smartRenderCallbacks()};
    void* extra = nullptr;
    if (cmd == PF_Cmd_USER_CHANGED_PARAM)
        extra = &changed;
    else if (cmd == PF_Cmd_SMART_PRE_RENDER)
        extra = &preExtra;
    else if (cmd == PF_Cmd_SMART_RENDER)
        extra = &smartExtra;
    if (in.chance(16))
        extra = nullptr;

    PF_OutData out{};
    pluginEntry()(cmd, in.chance(8) ? nullptr : &inData, in.chance(8) ? nullptr : &out,
                in.chance(16) ? nullptr : params, in.chance(16) ? nullptr : &output.world, extra);
    if (preOutput.pre_render_data != nullptr && preOutput.delete_pre_render_data_func != nullptr)
        preOutput.delete_pre_render_data_func(preOutput.pre_render_data);
    host.disposeHostWorld(&layer.held);
    host.disposeHostWorld(&output.held);
}

void driverRender(Choices& in, RefHost& host, RenderDriver& driver) {
    const PF_PixelFormat format = kFormats[in.byte() % kFormatCount];
    const A_long width = 12 - in.range(0, 12), height = 10 - in.range(0, 10);
    Clip clip(format, width, height);
    for (int f = 0; f < 3; ++f) {
        std::vector<uint8_t> pixels(clip.frameBytes());
        fillFrom(in, pixels, clip);
        clip.addFrame(std::move(pixels));
    }
    RenderSettings& s = driver.settings();
    s = RenderSettings{};
    s.downsampleX = {in.range(0, 2), A_u_long(in.range(0, 2))};
    s.downsampleY = {in.range(0, 2), A_u_long(in.range(0, 2))};
    if (in.chance(64))
        s.outputRequest = PF_LRect{in.value(-5, 20), in.value(-5, 20), in.value(-5, 20), in.value(-5, 20)};
    s.outputOrigin = PF_Point{in.range(-3, 4), in.range(-3, 4)};
    if (in.chance(64))
        s.inputExtentHint = smallRect(in);
    if (in.chance(64))
        s.outputExtentHint = smallRect(in);
    if (in.chance(64))
        s.inDataExtentHint = smallRect(in);
    if (in.chance(48))
        s.refuseEarlierFrames = in.chance(128) ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_OUT_OF_MEMORY;
    host.inData().time_step = in.range(1, 3000);
    RenderParams params;
    params.fields = in.chance(16) ? in.range(-1, 4) : in.range(1, 2);
    params.motion = in.chance(16) ? in.range(-1, 6) : in.range(1, 4);
    params.correctMotionErrors = in.chance(128);
    if (in.chance(24))
        host.faults().failCheckoutParam = true;
    driver.render(clip, in.range(0, 2), params, in.chance(128) ? Protocol::Smart : Protocol::Legacy);
    host.faults().failCheckoutParam = false;
    const std::vector<std::string> misuses = host.ledger().misuses();
    if (!misuses.empty())
        finding("host misuse: " + misuses.front());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Choices in(data, size);
    const HostProfile profile = profileOf(in);
    RefHost host(profile, pluginEntry());
    planFaults(in, host.faults());
    Tables tables;
    punchHoles(in, host, tables);
    host.globalSetup();
    host.paramsSetup();
    std::unique_ptr<RenderDriver> driver;
    if (host.numParams() >= 4)
        driver = std::make_unique<RenderDriver>(host);
    for (int step = 0; step < 4 && !in.done(); ++step) {
        punchHoles(in, host, tables);
        if (driver != nullptr && !in.chance(96))
            driverRender(in, host, *driver);
        else
            rawCommand(in, host);
    }
    driver.reset();
    if (!host.ledger().nothingHeld())
        finding("left held: " + host.ledger().report());
    return 0;
}
