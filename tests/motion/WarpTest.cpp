#include "motion/Sarn_Warp.h"
#include "tests/motion/MotionTestField.h"
#include "tests/support/Scopes.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

// Warps `src` (rows of `w` samples) by `motion` over all of `rect`.
template <class Job, class T>
std::vector<T> warp(TestHost& host, const std::vector<T>& src, int w, MotionTestField& motion, Sarn_Rect rect,
                    T fill) {
    std::vector<T> dst(src.size(), T(77));
    const int32_t stride = int32_t(w * sizeof(T));
    Job(host.inData(), src.data(), dst.data(), stride, stride, motion.floats(),
        int32_t(motion.columns * sizeof(IGNC_ParamsFastElem)), &rect, &rect, 1.0f, 1.0f, 0.0f, 0.0f, fill)
        .execute();
    return dst;
}

} // namespace

TEST(SarnWarpFloor, MatchesTheLibraryFloor) {
    const float cases[] = {0.0f, -0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 2.9999998f, -2.0000002f, 8388607.5f,
                           -8388607.5f, 8388608.0f, -8388609.0f, 1e10f, -1e10f, 1e-30f, -1e-30f};
    for (float v : cases)
        EXPECT_EQ(Sarn_WarpFloor(v), std::floor(v)) << v;
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-5000.0f, 5000.0f);
    for (int i = 0; i < 100000; ++i) {
        const float v = dist(rng);
        ASSERT_EQ(Sarn_WarpFloor(v), std::floor(v)) << v;
    }
}

// Motions that leave the 32-bit range, and NaN, give the fill value.
TEST(SarnWarp, HugeOrInvalidMotionGivesFill) {
    constexpr int w = 8, h = 6;
    std::vector<uint8_t> src(w * h, 200);
    const Sarn_Rect rect{0, w, 0, h};
    TestHost host;
    for (float u : {3e9f, -3e9f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
        MotionTestField motion(w, h);
        motion.at(4, 3).u = u;
        motion.at(5, 3).v = u;
        const std::vector<uint8_t> out = warp<Sarn_Warp8>(host, src, w, motion, rect, uint8_t(9));
        EXPECT_EQ(out[3 * w + 4], 9) << u;
        EXPECT_EQ(out[3 * w + 5], 9) << u;
        EXPECT_EQ(out[3 * w + 3], 200);
    }
}

namespace {

// The warp of one pixel written plainly from the rules, for comparison with
// the job (which interpolates four pixels at a time in vector lanes).
float plainCubic(float p0, float p1, float p2, float p3, float t) {
    const float a = 2.0f * p1;
    const float b = (p2 - p0) * t;
    const float c = (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * (t * t);
    const float d = (3.0f * (p1 - p2) + p3 - p0) * (t * t * t);
    return 0.5f * (a + b + c + d);
}

template <class T>
T plainWarpPixel(const std::vector<T>& src, int w, int h, float px, float py, T fill, float full) {
    const float fx = std::floor(px), fy = std::floor(py);
    const int ix = int(fx), iy = int(fy);
    auto at = [&](int x, int y) { return src[size_t(y) * w + x]; };
    if (ix > 0 && ix < w - 2 && iy > 0 && iy < h - 2) {
        float across[4];
        for (int k = 0; k < 4; ++k)
            across[k] = plainCubic(float(at(ix - 1, iy - 1 + k)), float(at(ix, iy - 1 + k)),
                                   float(at(ix + 1, iy - 1 + k)), float(at(ix + 2, iy - 1 + k)), px - fx);
        const float v = plainCubic(across[0], across[1], across[2], across[3], py - fy);
        if (full == 0.0f)
            return T(v);
        return v <= 0.0f ? T(0) : v >= full ? T(full) : T(int(v + 0.5f));
    }
    const int nx = px - fx >= 0.5f ? ix + 1 : ix, ny = py - fy >= 0.5f ? iy + 1 : iy;
    return nx >= 0 && nx < w && ny >= 0 && ny < h ? at(nx, ny) : fill;
}

template <class Job, class T>
void compareWithPlainWarp(std::mt19937& rng, int w, int h, float full) {
    std::vector<T> src(size_t(w) * h);
    std::uniform_real_distribution<float> value(full == 0.0f ? -500.0f : 0.0f, full == 0.0f ? 500.0f : full);
    for (T& s : src)
        s = T(rng() % 8 == 0 ? (full == 0.0f ? -1e30f : full) : value(rng));
    MotionTestField motion(w, h);
    // Every other motion on the quarter-pixel grid, so that positions meet
    // halves exactly, which round up near the edges.
    std::uniform_real_distribution<float> shift(-3.0f, 3.0f);
    const auto pick = [&] { return rng() % 2 ? std::round(shift(rng) * 4.0f) * 0.25f : shift(rng); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            motion.at(x, y) = IGNC_ParamsFastElem{pick(), pick(), 0, 0, 0, 0, 0, 0, 0};
    const Sarn_Rect rect{0, w, 0, h};
    TestHost host(2);
    const ThreadCountScope bands(1 + w % 4);
    const std::vector<T> out = warp<Job>(host, src, w, motion, rect, T(3));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const IGNC_ParamsFastElem& e = motion.at(x, y);
            const T expected = plainWarpPixel(src, w, h, float(x) + e.u, float(y) + e.v, T(3), full);
            ASSERT_EQ(std::memcmp(&out[size_t(y) * w + x], &expected, sizeof(T)), 0)
                << "width " << w << " at " << x << "," << y;
        }
}

} // namespace

// Random sources (extremes included) and random sub-pixel motion, widths 1 to
// 70, one to four bands: every pixel equals the plain one-pixel computation,
// bit for bit.
TEST(SarnWarp, MatchesPlainComputationOnRandomMotion) {
    std::mt19937 rng(9);
    for (int w = 1; w <= 70; ++w) {
        const int h = 3 + w % 9;
        compareWithPlainWarp<Sarn_Warp8, uint8_t>(rng, w, h, 255.0f);
        compareWithPlainWarp<Sarn_Warp16, uint16_t>(rng, w, h, 32768.0f);
        compareWithPlainWarp<Sarn_WarpF, float>(rng, w, h, 0.0f);
    }
}
