// Sarn_ARWarp over one 1920x540 field of a 1920x1080 8-bit frame with a smooth
// random motion field, 2 workers, against a plain copy of the same frame
// timed in the same run.
#include "image/SarnARWarp.h"
#include "parallel/ProcessorFeatures.h"
#include "parallel/SarnThread.h"
#include "parallel/ThreadCount.h"
#include "tests/support/TestHost.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080, kFieldRows = kHeight / 2;

struct Scene {
    std::vector<uint8_t> frame, field, destination, copy;
    std::vector<float> dx, dy;

    Scene() {
        std::mt19937 rng(5);
        std::uniform_int_distribution<int> noise(-12, 12);
        frame.resize(size_t(kWidth) * kHeight * 4);
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
                for (int c = 0; c < 4; ++c) {
                    const int base = 128 + int(90.0 * std::sin(x * 0.05 + c) * std::cos(y * 0.031 - c));
                    frame[(size_t(y) * kWidth + x) * 4 + c] = uint8_t(std::clamp(base + noise(rng), 0, 255));
                }
        // Kept field: even frame rows; destination: the odd rows.
        field.resize(size_t(kWidth) * kFieldRows * 4);
        destination.resize(field.size());
        for (int32_t y = 0; y < kFieldRows; ++y) {
            std::memcpy(&field[size_t(y) * kWidth * 4], &frame[size_t(2 * y) * kWidth * 4], size_t(kWidth) * 4);
            std::memcpy(&destination[size_t(y) * kWidth * 4], &frame[size_t(2 * y + 1) * kWidth * 4],
                        size_t(kWidth) * 4);
        }
        copy.resize(frame.size());
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

void BM_ARWarp8(benchmark::State& state) {
    static Scene scene;
    TestHost host(2);
    Sarn_SetThreadCount(2);
    setSimdLevelLimit(state.range(0) ? SimdLevel::AVX512 : SimdLevel::Scalar);
    const Sarn_Rect fieldRect{0, kWidth, 0, kFieldRows}, sourceRect{0, kWidth, 0, kHeight};
    const Sarn_Rect rect{0, kWidth, 0, kFieldRows - 1};
    using Warp = Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_MotionPlanes, Sarn_OrderARGB>;
    double warpSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        Warp warp(host.inData(), scene.field.data(), scene.frame.data(), scene.destination.data(), kWidth * 4,
                  kWidth * 4, kWidth * 4, reinterpret_cast<const uint8_t*>(scene.dx.data()),
                  reinterpret_cast<const uint8_t*>(scene.dy.data()), kWidth * 4, &fieldRect, &sourceRect, &rect,
                  1.0f);
        warp.execute();
        const auto t1 = std::chrono::steady_clock::now();
        std::memcpy(scene.copy.data(), scene.frame.data(), scene.frame.size());
        benchmark::DoNotOptimize(scene.copy.data());
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
    state.SetLabel(state.range(0) ? "widest SIMD tier" : "scalar");
    Sarn_SetThreadCount(1);
    setSimdLevelLimit(SimdLevel::AVX512);
}
BENCHMARK(BM_ARWarp8)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
