// Field interpolation of a 1920x1080 frame (one field rebuilt) through
// DeinterlaceFields on the fallback runner's threads, at every vector tier
// per depth, against a plain copy of the same frame on the same threads.
#include "deinterlace/DeinterlaceFields.h"
#include "parallel/JobBinding.h"
#include "parallel/ProcessorFeatures.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080;

struct BenchFrame {
    std::vector<uint8_t> bytes;
    PF_EffectWorld world{};
    BenchFrame(int32_t bytesPerPixel, uint32_t seed) : bytes(size_t(kWidth) * bytesPerPixel * kHeight) {
        std::mt19937 random(seed);
        for (size_t i = 0; i < bytes.size(); i += 4) {
            // Smooth-ish picture content: ranks vary, channels stay in range.
            const uint32_t v = random();
            if (bytesPerPixel == 16) {
                const float f = float(v % 1000) / 1000.0f;
                std::memcpy(&bytes[i], &f, 4);
            } else if (bytesPerPixel == 8) {
                const uint16_t a = uint16_t(v % 32769), b = uint16_t((v >> 16) % 32769);
                std::memcpy(&bytes[i], &a, 2);
                std::memcpy(&bytes[i + 2], &b, 2);
            } else {
                std::memcpy(&bytes[i], &v, 4);
            }
        }
        world.data = reinterpret_cast<PF_PixelPtr>(bytes.data());
        world.rowbytes = kWidth * bytesPerPixel;
        world.width = kWidth;
        world.height = kHeight;
        world.extent_hint = PF_Rect{0, 0, kWidth, kHeight};
    }
};

// A host without generic iteration: the fallback runner, one thread per
// processor (2 on the machine this is measured on).
struct BenchHost {
    PF_InData inData{};
    PF_SmartRenderCallbacks callbacks{};
    AEHost host;
    explicit BenchHost(PF_EffectWorld* output) : host((inData.version.major = 11, &inData), output, &callbacks) {}
};

struct CopyJob {
    const PF_EffectWorld* from;
    PF_EffectWorld* to;
    int32_t rowBytes;
    void band(int32_t index, int32_t count, int32_t) const {
        const BandRange rows = bandRows(index, count, 0, from->height);
        for (int32_t y = rows.begin; y < rows.end; ++y)
            std::memcpy(reinterpret_cast<uint8_t*>(to->data) + int64_t(y) * to->rowbytes,
                        reinterpret_cast<const uint8_t*>(from->data) + int64_t(y) * from->rowbytes,
                        size_t(rowBytes));
    }
};

template <class Pixel>
void BM_FrameCopy(benchmark::State& state) {
    BenchFrame in(Pixel::bytes, 1), out(Pixel::bytes, 2);
    BenchHost bench(&out.world);
    const CopyJob job{&in.world, &out.world, kWidth * Pixel::bytes};
    JobBinding binding = bindJob<CopyJob, &CopyJob::band>(&job);
    for (auto _ : state) {
        bench.host.thread(dispatchBand, &binding, 0);
        benchmark::ClobberMemory();
    }
}

const char* tierName(SimdLevel level) {
    switch (level) {
    case SimdLevel::Scalar:
        return "scalar";
    case SimdLevel::SSE2:
        return "sse2";
    case SimdLevel::AVX2:
        return "avx2";
    default:
        return "avx512";
    }
}

// Each iteration times the kernel and, interleaved with it, a frame copy on
// the same threads, so that the ratios come from the same moments of a busy
// machine: kernel/copy is the kernel against one copy, off/copy the "Off"
// render (a copy plus the kernel) against one copy.
template <class Pixel, SimdLevel Level>
void BM_FieldKernel(benchmark::State& state) {
    if (int(detectedSimdLevel()) < int(Level)) {
        state.SkipWithError("tier not supported by this processor");
        return;
    }
    BenchFrame in(Pixel::bytes, 1), out(Pixel::bytes, 2), copy(Pixel::bytes, 3);
    BenchHost bench(&out.world);
    const CopyJob copyJob{&in.world, &copy.world, kWidth * Pixel::bytes};
    JobBinding copyBinding = bindJob<CopyJob, &CopyJob::band>(&copyJob);
    setSimdLevelLimit(Level);
    state.SetLabel(tierName(simdLevel()));
    double kernelSeconds = 0, copySeconds = 0;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        bench.host.thread(dispatchBand, &copyBinding, 0);
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        DeinterlaceFields<Pixel, Sarn_OrderARGB>(bench.host, ViewRect{0, 0, kWidth, kHeight}, out.world,
                                                 in.world, 1);
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        const double kernel = std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(kernel);
        kernelSeconds += kernel;
        copySeconds += std::chrono::duration<double>(t1 - t0).count();
    }
    setSimdLevelLimit(SimdLevel::AVX512);
    state.counters["kernel/copy"] = kernelSeconds / copySeconds;
    state.counters["off/copy"] = (kernelSeconds + copySeconds) / copySeconds;
}

} // namespace

#define FIELD_KERNEL_BENCHES(Pixel)                                                                \
    BENCHMARK(BM_FrameCopy<Pixel>)->Unit(benchmark::kMillisecond)->UseRealTime();                  \
    BENCHMARK(BM_FieldKernel<Pixel, SimdLevel::Scalar>)->Unit(benchmark::kMillisecond)->UseManualTime(); \
    BENCHMARK(BM_FieldKernel<Pixel, SimdLevel::SSE2>)->Unit(benchmark::kMillisecond)->UseManualTime();   \
    BENCHMARK(BM_FieldKernel<Pixel, SimdLevel::AVX2>)->Unit(benchmark::kMillisecond)->UseManualTime();   \
    BENCHMARK(BM_FieldKernel<Pixel, SimdLevel::AVX512>)->Unit(benchmark::kMillisecond)->UseManualTime()

FIELD_KERNEL_BENCHES(Sarn_Pixel8);
FIELD_KERNEL_BENCHES(Sarn_Pixel16);
FIELD_KERNEL_BENCHES(Sarn_PixelF);

BENCHMARK_MAIN();
