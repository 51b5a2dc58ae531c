// Field interpolation of a 1920x1080 frame (one field rebuilt) through
// DeinterlaceFields on the fallback runner's threads, scalar and best vector
// tier, against a plain copy of the same frame on the same threads.
#include "deinterlace/DeinterlaceFields.h"
#include "parallel/JobBinding.h"
#include "parallel/ProcessorFeatures.h"

#include <benchmark/benchmark.h>

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
        world.extent_hint = PF_Rect{0, 0, A_short(kHeight), A_short(kWidth)};
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

template <class Pixel, SimdLevel Level>
void BM_FieldKernel(benchmark::State& state) {
    BenchFrame in(Pixel::bytes, 1), out(Pixel::bytes, 2);
    BenchHost bench(&out.world);
    setSimdLevelLimit(Level);
    state.SetLabel(Level == SimdLevel::Scalar ? "scalar" : (int(simdLevel()) >= int(SimdLevel::AVX2) ? "avx2" : "sse2"));
    for (auto _ : state) {
        DeinterlaceFields<Pixel, Sarn_OrderARGB>(bench.host, ViewRect{0, 0, kWidth, kHeight}, out.world,
                                                 in.world, 1);
        benchmark::ClobberMemory();
    }
    setSimdLevelLimit(SimdLevel::AVX512);
}

} // namespace

BENCHMARK(BM_FrameCopy<Sarn_Pixel8>)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FieldKernel<Sarn_Pixel8, SimdLevel::Scalar>)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FieldKernel<Sarn_Pixel8, SimdLevel::AVX512>)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameCopy<Sarn_Pixel16>)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FieldKernel<Sarn_Pixel16, SimdLevel::Scalar>)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FieldKernel<Sarn_Pixel16, SimdLevel::AVX512>)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameCopy<Sarn_PixelF>)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FieldKernel<Sarn_PixelF, SimdLevel::Scalar>)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FieldKernel<Sarn_PixelF, SimdLevel::AVX512>)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
