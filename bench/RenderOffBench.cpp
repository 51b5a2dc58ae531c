// "Motion Compensation" "Off" on a 1920x1080 frame through the plug-in's
// entry point (linked in, so that the kernel tier can be lowered) and the
// reference host with 2 iteration threads, at 8-bit, 16-bit and float,
// against plain copies of the same frame measured in the same run.
//
//   BM_RenderCommand   the legacy PF_Cmd_RENDER call alone: the host's frames
//                      (layer and output) are made once and reused, so the
//                      time is the plug-in's own: parameters, frame copy,
//                      field interpolation on the host's threads.
//   BM_RenderScalar    the same with the field kernel held to scalar code.
//   BM_FieldsOnly      the field interpolation of the render alone
//                      (DeinterlaceFields on the host's threads, no copy).
//   BM_CopyTwoThreads  memcpy of the frame's rows, in two bands on the same
//                      host threads (the baseline of the target ratio).
//   BM_HostCopy        the host's own copy callback (one thread).
//   BM_DriverRender    a whole render (second argument: 0 smart, 1 legacy) as
//                      the reference host drives it,
//                      including the host's per-frame work (making the layer
//                      and output frames, copying the clip frame in and the
//                      output back, checking the input is untouched).
#include "deinterlace/DeinterlaceFields.h"
#include "parallel/AEHost.h"
#include "host/PluginEntry.h"
#include "parallel/ProcessorFeatures.h"
#include "refhost/RefHost.h"
#include "refhost/RenderDriver.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <stdexcept>

using namespace refhost;

namespace {

constexpr A_long kWidth = 1920, kHeight = 1080;
constexpr int kThreads = 2;

PF_PixelFormat formatOf(int64_t depth) {
    return depth == 8 ? PF_PixelFormat_ARGB32
                      : depth == 16 ? PF_PixelFormat_ARGB64 : PF_PixelFormat_ARGB128;
}

// Noise in every channel of `height` rows (values in range for the depth).
void fillNoise(uint8_t* data, int64_t rowbytes, A_long height, ChannelDepth depth) {
    std::mt19937 rng(1);
    for (A_long y = 0; y < height; ++y) {
        uint8_t* row = data + int64_t(y) * rowbytes;
        for (A_long i = 0; i < kWidth * 4; ++i) {
            if (depth == ChannelDepth::Bits8) {
                row[i] = uint8_t(rng());
            } else if (depth == ChannelDepth::Bits16) {
                const uint16_t v = uint16_t(rng() % 32769);
                std::memcpy(row + i * 2, &v, 2);
            } else {
                const float v = float(rng() % 1000) / 999.0f;
                std::memcpy(row + i * 4, &v, 4);
            }
        }
    }
}

// A reference host set up for legacy render of one frame: parameters set
// up, the layer at parameter 0 and an output frame, both kept for the run.
struct LegacySetup {
    explicit LegacySetup(PF_PixelFormat format)
        : host(HostProfile::afterEffects().withWorkers(kThreads), &PluginEntry) {
        if (host.globalSetup().err != PF_Err_NONE || host.paramsSetup().err != PF_Err_NONE)
            throw std::runtime_error("the plug-in's setup failed");
        host.setPopup(1, 1); // "Upper Field First"
        host.setPopup(2, 1); // "Off"
        host.setCheckbox(3, false);
        layer = host.makeHostWorld(kWidth, kHeight, format, "layer");
        output = host.makeHostWorld(kWidth, kHeight, format, "output");
        fillNoise(reinterpret_cast<uint8_t*>(layer.data), layer.rowbytes, kHeight,
                  pixelFormatInfo(format)->depth);
        const PF_Rect whole{0, 0, kWidth, kHeight};
        layer.extent_hint = whole;
        output.extent_hint = whole;
        host.param(0).u.ld = layer;
        PF_InData& in = host.inData();
        in.current_time = 0;
        in.downsample_x = {1, 1};
        in.downsample_y = {1, 1};
        in.width = kWidth;
        in.height = kHeight;
        in.output_origin_x = 0;
        in.output_origin_y = 0;
        in.extent_hint = whole;
    }
    ~LegacySetup() {
        host.param(0).u.ld = PF_LayerDef{};
        host.disposeHostWorld(&layer);
        host.disposeHostWorld(&output);
    }
    PF_Err render() {
        CommandCall call;
        call.output = &output;
        return host.command(PF_Cmd_RENDER, call).err;
    }

    RefHost host;
    PF_EffectWorld layer{}, output{};
};

int64_t frameBytes(int64_t depth) { return int64_t(kWidth) * kHeight * 4 * (depth / 8); }

void renderCommand(benchmark::State& state, bool scalar) {
    LegacySetup setup(formatOf(state.range(0)));
    setSimdLevelLimit(scalar ? SimdLevel::Scalar : SimdLevel::AVX512);
    if (setup.render() != PF_Err_NONE)
        state.SkipWithError("render failed");
    for (auto _ : state)
        benchmark::DoNotOptimize(setup.render());
    setSimdLevelLimit(SimdLevel::AVX512);
    state.SetBytesProcessed(state.iterations() * frameBytes(state.range(0)));
}

void BM_RenderCommand(benchmark::State& state) { renderCommand(state, false); }
BENCHMARK(BM_RenderCommand)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderScalar(benchmark::State& state) { renderCommand(state, true); }
BENCHMARK(BM_RenderScalar)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FieldsOnly(benchmark::State& state) {
    LegacySetup setup(formatOf(state.range(0)));
    AEHost host(&setup.host.inData(), &setup.output, nullptr);
    const ViewRect area{0, 0, kWidth, kHeight};
    auto run = [&] {
        switch (state.range(0)) {
        case 8:
            return DeinterlaceFields<Sarn_Pixel8, Sarn_OrderARGB>(host, area, setup.output, setup.layer, 1);
        case 16:
            return DeinterlaceFields<Sarn_Pixel16, Sarn_OrderARGB>(host, area, setup.output, setup.layer, 1);
        default:
            return DeinterlaceFields<Sarn_PixelF, Sarn_OrderARGB>(host, area, setup.output, setup.layer, 1);
        }
    };
    run();
    for (auto _ : state)
        run();
    state.SetBytesProcessed(state.iterations() * frameBytes(state.range(0)));
}
BENCHMARK(BM_FieldsOnly)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

struct RowCopy {
    const PF_EffectWorld* from;
    PF_EffectWorld* to;
    size_t rowBytes;
};

void copyBand(int32_t index, int32_t count, int32_t, void* refcon) {
    const RowCopy& job = *static_cast<const RowCopy*>(refcon);
    const A_long top = A_long(int64_t(index) * job.from->height / count);
    const A_long bottom = A_long(int64_t(index + 1) * job.from->height / count);
    for (A_long y = top; y < bottom; ++y)
        std::memcpy(reinterpret_cast<uint8_t*>(job.to->data) + int64_t(y) * job.to->rowbytes,
                    reinterpret_cast<const uint8_t*>(job.from->data) + int64_t(y) * job.from->rowbytes,
                    job.rowBytes);
}

void BM_CopyTwoThreads(benchmark::State& state) {
    LegacySetup setup(formatOf(state.range(0)));
    AEHost host(&setup.host.inData(), &setup.output, nullptr);
    RowCopy job{&setup.layer, &setup.output, size_t(kWidth) * size_t(state.range(0) / 2)};
    host.thread(copyBand, &job, kThreads);
    for (auto _ : state)
        host.thread(copyBand, &job, kThreads);
    state.SetBytesProcessed(state.iterations() * frameBytes(state.range(0)));
}
BENCHMARK(BM_CopyTwoThreads)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HostCopy(benchmark::State& state) {
    LegacySetup setup(formatOf(state.range(0)));
    PF_InData& in = setup.host.inData();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            in.utils->copy(in.effect_ref, &setup.layer, &setup.output, nullptr, nullptr));
    state.SetBytesProcessed(state.iterations() * frameBytes(state.range(0)));
}
BENCHMARK(BM_HostCopy)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DriverRender(benchmark::State& state) {
    const PF_PixelFormat format = formatOf(state.range(0));
    RefHost host(HostProfile::afterEffects().withWorkers(kThreads), &PluginEntry);
    RenderDriver driver(host);
    Clip clip(format, kWidth, kHeight);
    std::vector<uint8_t> pixels(size_t(frameBytes(state.range(0))));
    fillNoise(pixels.data(), int64_t(kWidth) * (state.range(0) / 2), kHeight,
              pixelFormatInfo(format)->depth);
    clip.addFrame(std::move(pixels));
    RenderParams params; // "Upper Field First", "Off"
    const Protocol protocol = state.range(1) == 0 ? Protocol::Smart : Protocol::Legacy;
    for (auto _ : state)
        if (driver.render(clip, 0, params, protocol).err != PF_Err_NONE)
            state.SkipWithError("render failed");
    state.SetBytesProcessed(state.iterations() * frameBytes(state.range(0)));
    state.SetLabel(protocol == Protocol::Smart ? "smart" : "legacy");
}
BENCHMARK(BM_DriverRender)
    ->ArgsProduct({{8, 16, 32}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
