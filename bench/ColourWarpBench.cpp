// Sarn_ARWarp over one 1920x540 field of a 1920x1080 frame with a smooth
// random motion field, for each depth and each SIMD tier this processor
// runs, against a plain copy of the same frame timed in the same run.
// Arguments: SIMD tier (0 scalar, 1 SSE2, 2 AVX2, 3 AVX-512), workers.
#include "image/Sarn_ARWarp.h"
#include "parallel/ProcessorFeatures.h"
#include "parallel/Sarn_Thread.h"
#include "parallel/Sarn_SetThreadCount.h"
#include "tests/support/TestHost.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080, kFieldRows = kHeight / 2;

// The test frame on the 8-bit scale (0 .. 255 per channel) and the motion.
struct Scene {
    std::vector<float> frame;
    std::vector<float> dx, dy;

    Scene() {
        std::mt19937 rng(5);
        std::uniform_int_distribution<int> noise(-12, 12);
        frame.resize(size_t(kWidth) * kHeight * 4);
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
                for (int c = 0; c < 4; ++c) {
                    const int base = 128 + int(90.0 * std::sin(x * 0.05 + c) * std::cos(y * 0.031 - c));
                    frame[(size_t(y) * kWidth + x) * 4 + c] = float(std::clamp(base + noise(rng), 0, 255));
                }
        // Smooth motion: a few random low-frequency waves, up to about 3 pixels.
        std::uniform_real_distribution<double> phase(0.0, 6.28), frequency(0.002, 0.02);
        double fx[3], fy[3], px[3], py[3];
        for (int k = 0; k < 3; ++k)
            fx[k] = frequency(rng), fy[k] = frequency(rng), px[k] = phase(rng), py[k] = phase(rng);
        dx.resize(size_t(kWidth) * kFieldRows);
        dy.resize(dx.size());
        for (int32_t y = 0; y < kFieldRows; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                double u = 0, v = 0;
                for (int k = 0; k < 3; ++k) {
                    u += std::sin(x * fx[k] + y * fy[k] + px[k]);
                    v += std::cos(x * fy[k] - y * fx[k] + py[k]);
                }
                dx[size_t(y) * kWidth + x] = float(u);
                dy[size_t(y) * kWidth + x] = float(v * 0.5);
            }
    }
};

const Scene& scene() {
    static const Scene s;
    return s;
}

// The scene at one depth: the frame, its even rows as the kept field, its
// odd rows as the fallback to be blended.
template <class Pixel>
struct Frames {
    using Type = typename Pixel::Type;
    std::vector<uint8_t> frame, field, destination, copy;

    Frames() {
        const Scene& s = scene();
        frame.resize(s.frame.size() * sizeof(Type));
        for (size_t i = 0; i < s.frame.size(); ++i) {
            Type v;
            if constexpr (Pixel::isFloat)
                v = s.frame[i] / 255.0f;
            else
                v = Type(Pixel::bytes == 4 ? s.frame[i] : s.frame[i] * 128.0f);
            std::memcpy(&frame[i * sizeof(Type)], &v, sizeof(Type));
        }
        const size_t rowBytes = size_t(kWidth) * Pixel::bytes;
        field.resize(rowBytes * kFieldRows);
        destination.resize(field.size());
        for (int32_t y = 0; y < kFieldRows; ++y) {
            std::memcpy(&field[y * rowBytes], &frame[2 * y * rowBytes], rowBytes);
            std::memcpy(&destination[y * rowBytes], &frame[(2 * y + 1) * rowBytes], rowBytes);
        }
        copy.resize(frame.size());
    }
};

template <class Pixel>
void BM_ARWarp(benchmark::State& state) {
    const SimdLevel tier = SimdLevel(state.range(0));
    if (detectedSimdLevel() < tier) {
        state.SkipWithError("SIMD tier not supported by this processor");
        return;
    }
    static Frames<Pixel> frames;
    const Scene& s = scene();
    const int workers = int(state.range(1));
    TestHost host(workers);
    Sarn_SetThreadCount(workers);
    setSimdLevelLimit(tier);
    const Sarn_Rect fieldRect{0, kWidth, 0, kFieldRows}, sourceRect{0, kWidth, 0, kHeight};
    const Sarn_Rect rect{0, kWidth, 0, kFieldRows - 1};
    const int32_t stride = kWidth * Pixel::bytes;
    using Warp = Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Pixel>, Sarn_MotionPlanes, Sarn_OrderARGB>;
    double warpSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        Warp warp(host.inData(), frames.field.data(), frames.frame.data(), frames.destination.data(), stride, stride,
                  stride, reinterpret_cast<const uint8_t*>(s.dx.data()), reinterpret_cast<const uint8_t*>(s.dy.data()),
                  kWidth * 4, &fieldRect, &sourceRect, &rect, 1.0f);
        warp.execute();
        const auto t1 = std::chrono::steady_clock::now();
        std::memcpy(frames.copy.data(), frames.frame.data(), frames.frame.size());
        benchmark::DoNotOptimize(frames.copy.data());
        benchmark::ClobberMemory();
        const auto t2 = std::chrono::steady_clock::now();
        const double warpTime = std::chrono::duration<double>(t1 - t0).count();
        warpSeconds += warpTime;
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(warpTime);
    }
    state.counters["warp_ms"] = benchmark::Counter(warpSeconds * 1e3 / double(state.iterations()));
    state.counters["copy_ms"] = benchmark::Counter(copySeconds * 1e3 / double(state.iterations()));
    state.counters["warp/copy"] = benchmark::Counter(warpSeconds / copySeconds);
    static const char* const names[] = {"scalar", "SSE2", "AVX2", "AVX-512"};
    state.SetLabel(names[int(tier)]);
    Sarn_SetThreadCount(1);
    setSimdLevelLimit(SimdLevel::AVX512);
}

void tiers(benchmark::internal::Benchmark* b) {
    for (int workers : {1, 2})
        for (int tier = 0; tier <= 3; ++tier)
            b->Args({tier, workers});
}

BENCHMARK_TEMPLATE(BM_ARWarp, Sarn_Pixel8)->Apply(tiers)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ARWarp, Sarn_Pixel16)->Apply(tiers)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ARWarp, Sarn_PixelF)->Apply(tiers)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
