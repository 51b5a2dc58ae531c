// One pyramid level of a 1080 field (1920 x 540): gradients plus ten
// iterations (twenty colour sweeps) on two bands, for the scalar path and
// each vectorised instruction set. Items are element updates: width x rows x
// iterations. A plain copy of the motion field is the baseline of the run.
#include "motion/Sarn_IGNC.h"
#include "motion/IGNC_ParamsFastSobel.h"
#include "parallel/ProcessorFeatures.h"
#include "parallel/Sarn_SetThreadCount.h"
#include "tests/support/TestHost.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <vector>

namespace {

constexpr int32_t kWidth = 1920, kRows = 540, kIterations = 10, kThreads = 2;

using Solver = Sarn_IGNC<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum8>, IGNC_ParamsFastSobel>;

struct AlignedFree {
    void operator()(IGNC_ParamsFastElem* p) const { ::operator delete[](p, std::align_val_t(64)); }
};

struct LevelData {
    LevelData() : a(size_t(kWidth) * kRows), b(a.size()) {
        std::mt19937 rng(1);
        for (int32_t y = 0; y < kRows; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                const double base = 128 + 60 * std::sin(0.05 * x + 0.07 * y);
                a[size_t(y) * kWidth + x] = uint8_t(base + rng() % 16);
                b[size_t(y) * kWidth + x] = uint8_t(base + 6 + rng() % 16);
            }
        field.reset(static_cast<IGNC_ParamsFastElem*>(
            ::operator new[](size_t(bytes()), std::align_val_t(64))));
        std::memset(field.get(), 0, size_t(bytes()));
    }
    static int64_t bytes() { return IGNC_Field::byteCount(kWidth, kRows); }
    std::vector<uint8_t> a, b;
    std::unique_ptr<IGNC_ParamsFastElem[], AlignedFree> field;
};

LevelData& level() {
    static LevelData data;
    return data;
}

void runLevel(benchmark::State& state, uint32_t features, SimdLevel simd) {
    if (int(detectedSimdLevel()) < int(simd)) {
        state.SkipWithError("instruction set not available");
        return;
    }
    LevelData& data = level();
    TestHost host(kThreads);
    Sarn_SetThreadCount(kThreads);
    setSimdLevelLimit(simd);
    Solver solver(host.inData(), features);
    const IGNC_Settings s{data.field.get(), 5.0f, 1.0f, 0.0f, 7.07f, 0.07f, 0.0f, 1.9f, kWidth, kRows};
    for (auto _ : state) {
        solver.gradients(s, data.a.data(), data.b.data(), kWidth);
        solver.solve(s, kIterations);
        benchmark::ClobberMemory();
    }
    setSimdLevelLimit(SimdLevel::AVX512);
    Sarn_SetThreadCount(1);
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kRows * kIterations);
}

constexpr uint32_t kScalar = kFeatureMMX | kFeatureCMOV;
constexpr uint32_t kVector = kScalar | kFeatureSSE | kFeatureSSE2;

void BM_LevelScalar(benchmark::State& state) { runLevel(state, kScalar, SimdLevel::Scalar); }
void BM_LevelSse(benchmark::State& state) { runLevel(state, kVector, SimdLevel::SSE2); }
void BM_LevelAvx2(benchmark::State& state) { runLevel(state, kVector, SimdLevel::AVX2); }
void BM_LevelAvx512(benchmark::State& state) { runLevel(state, kVector, SimdLevel::AVX512); }

// Baseline: one plain copy of the level's motion field per iteration.
void BM_FieldCopy(benchmark::State& state) {
    LevelData& data = level();
    std::vector<uint8_t> copy(size_t(LevelData::bytes()));
    for (auto _ : state) {
        std::memcpy(copy.data(), data.field.get(), copy.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * LevelData::bytes());
}

} // namespace

BENCHMARK(BM_FieldCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LevelScalar)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LevelSse)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LevelAvx2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LevelAvx512)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
