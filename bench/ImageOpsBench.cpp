// Image operations of the motion analysis at the sizes of a 1920 x 1080 frame
// (one 1920 x 540 field, its 960 x 270 level), each beside a plain copy of its
// source data. Jobs run in 2 bands on the test host's generic iteration with 2
// workers (threads started per run, as the fallback runner does).
#include "image/Sarn_Lum.h"
#include "image/Sarn_Resize.h"
#include "motion/Sarn_Warp.h"
#include "parallel/ProcessorFeatures.h"
#include "parallel/Sarn_SetThreadCount.h"
#include "tests/support/TestHost.h"
// The test host is small and has no test-framework dependency; compiling it
// here keeps the benchmark free of the test support library.
#include "tests/support/TestHost.cpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int fieldWidth = 1920, fieldRows = 540;
constexpr int halfWidth = 960, halfRows = 270;

TestHost& host() {
    static TestHost instance(2);
    Sarn_SetThreadCount(2);
    return instance;
}

template <class T>
std::vector<T> pattern(size_t count) {
    std::vector<T> v(count);
    for (size_t i = 0; i < count; ++i)
        v[i] = T((i * 2654435761u >> 7) % 200 + 20);
    return v;
}

void copyBytes(benchmark::State& state, size_t bytes) {
    std::vector<uint8_t> src = pattern<uint8_t>(bytes), dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}
void BM_Copy_ARGB8Field(benchmark::State& s) { copyBytes(s, size_t(fieldWidth) * fieldRows * 4); }
void BM_Copy_ARGBFField(benchmark::State& s) { copyBytes(s, size_t(fieldWidth) * fieldRows * 16); }
void BM_Copy_Lum8Field(benchmark::State& s) { copyBytes(s, size_t(fieldWidth) * fieldRows); }
void BM_Copy_LumFField(benchmark::State& s) { copyBytes(s, size_t(fieldWidth) * fieldRows * 4); }
void BM_Copy_MotionHalf(benchmark::State& s) { copyBytes(s, size_t(halfWidth) * halfRows * 36); }
void BM_Copy_MotionField(benchmark::State& s) { copyBytes(s, size_t(fieldWidth) * fieldRows * 36); }

void BM_Lum8ARGB(benchmark::State& state) {
    TestHost& h = host();
    std::vector<uint8_t> src = pattern<uint8_t>(size_t(fieldWidth) * fieldRows * 4);
    std::vector<uint8_t> dst(size_t(fieldWidth) * fieldRows);
    const Sarn_Rect rect{0, fieldWidth, 0, fieldRows};
    for (auto _ : state) {
        Sarn_Lum8ARGB job(h.inData(), {src.data(), fieldWidth * 4}, {dst.data(), fieldWidth}, &rect);
        job.execute();
        benchmark::DoNotOptimize(dst.data());
    }
}

void BM_LumFARGB(benchmark::State& state) {
    TestHost& h = host();
    std::vector<float> src = pattern<float>(size_t(fieldWidth) * fieldRows * 4);
    std::vector<float> dst(size_t(fieldWidth) * fieldRows);
    const Sarn_Rect rect{0, fieldWidth, 0, fieldRows};
    for (auto _ : state) {
        Sarn_LumFARGB job(h.inData(), {reinterpret_cast<uint8_t*>(src.data()), fieldWidth * 16},
                          {reinterpret_cast<uint8_t*>(dst.data()), fieldWidth * 4}, &rect);
        job.execute();
        benchmark::DoNotOptimize(dst.data());
    }
}

template <class Resize, class T>
void resizeBench(benchmark::State& state, int sw, int sh, int dw, int dh, int elementFloats, float scale) {
    TestHost& h = host();
    const int elementBytes = elementFloats > 0 ? elementFloats * 4 : int(sizeof(T));
    std::vector<uint8_t> src = pattern<uint8_t>(size_t(sw) * sh * elementBytes);
    if (elementFloats > 0) {
        float* f = reinterpret_cast<float*>(src.data());
        for (size_t i = 0; i < src.size() / 4; ++i)
            f[i] = std::sin(float(i) * 0.001f);
    }
    std::vector<uint8_t> dst(size_t(dw) * dh * elementBytes);
    // The argument caps the vector tier: 0 scalar, 2 AVX2, 3 AVX-512.
    setSimdLevelLimit(SimdLevel(state.range(0)));
    for (auto _ : state) {
        Resize resize(h.inData(), src.data(), dst.data(), sw, sh, dw, dh, sw * elementBytes, dw * elementBytes,
                      scale, 1.0f);
        resize.run();
        benchmark::DoNotOptimize(dst.data());
    }
    setSimdLevelLimit(SimdLevel::AVX512);
}
void BM_ResizeDown_Lum8(benchmark::State& s) {
    resizeBench<Sarn_Resize8, uint8_t>(s, fieldWidth, fieldRows, halfWidth, halfRows, 0, 1.0f);
}
void BM_ResizeDown_LumF(benchmark::State& s) {
    resizeBench<Sarn_ResizeF, float>(s, fieldWidth, fieldRows, halfWidth, halfRows, 0, 1.0f);
}
void BM_ResizeDown_Motion(benchmark::State& s) {
    resizeBench<Sarn_ResizeMotion, float>(s, fieldWidth, fieldRows, halfWidth, halfRows, 9, 0.5f);
}
void BM_ResizeUp_Motion(benchmark::State& s) {
    resizeBench<Sarn_ResizeMotion, float>(s, halfWidth, halfRows, fieldWidth, fieldRows, 9, 2.0f);
}
void BM_ResizeUp_LumF(benchmark::State& s) {
    resizeBench<Sarn_ResizeF, float>(s, halfWidth, halfRows, fieldWidth, fieldRows, 0, 1.0f);
}

template <class Warp, class T>
void warpBench(benchmark::State& state) {
    TestHost& h = host();
    std::vector<T> src = pattern<T>(size_t(fieldWidth) * fieldRows);
    std::vector<T> dst(src.size());
    const int rowElements = fieldWidth; // already a multiple of 8
    std::vector<float> motion(size_t(rowElements) * fieldRows * 9, 0.0f);
    for (int y = 0; y < fieldRows; ++y)
        for (int x = 0; x < fieldWidth; ++x) {
            float* e = &motion[(size_t(y) * rowElements + x) * 9];
            e[0] = 2.3f * std::sin(float(x) * 0.01f + float(y) * 0.02f);
            e[1] = 1.1f * std::cos(float(x) * 0.015f);
        }
    const Sarn_Rect rect{0, fieldWidth, 0, fieldRows};
    const int32_t stride = fieldWidth * int32_t(sizeof(T));
    for (auto _ : state) {
        Warp job(h.inData(), src.data(), dst.data(), stride, stride, motion.data(), 36 * rowElements, &rect,
                 &rect);
        job.execute();
        benchmark::DoNotOptimize(dst.data());
    }
}
void BM_Warp_Lum8(benchmark::State& s) { warpBench<Sarn_Warp8, uint8_t>(s); }
void BM_Warp_LumF(benchmark::State& s) { warpBench<Sarn_WarpF, float>(s); }

} // namespace

BENCHMARK(BM_Copy_ARGB8Field)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lum8ARGB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Copy_ARGBFField)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LumFARGB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Copy_Lum8Field)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResizeDown_Lum8)->ArgName("simd")->Arg(0)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Warp_Lum8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Copy_LumFField)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResizeDown_LumF)->ArgName("simd")->Arg(0)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Warp_LumF)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Copy_MotionField)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResizeDown_Motion)->ArgName("simd")->Arg(0)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Copy_MotionHalf)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResizeUp_Motion)->ArgName("simd")->Arg(0)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResizeUp_LumF)->ArgName("simd")->Arg(0)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
