#include "motion/EstimateFrameMotion.h"
#include "image/Sarn_DiscardWarp.h"
#include "parallel/AEHost.h"
#include "parallel/ProcessorFeatures.h"
#include "tests/motion/FrameMotionSupport.h"
#include "tests/support/Scopes.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr uint32_t kScalar = kFeatureMMX | kFeatureCMOV;
constexpr uint32_t kVector = kScalar | kFeatureSSE | kFeatureSSE2;

struct Quality {
    const char* name;
    int32_t passes, finestLevel;
    double tolerance; // largest mean error in the interior, per component, pixels
};
// Measured on the 192 x 128 pair below: about 0.09 to 0.11 for "Fast", 0.08
// for "Better" (one pass of ten iterations per level leaves that much), 0.012
// to 0.027 for "Best".
constexpr Quality kFast{"Fast", 1, 2, 0.15};
constexpr Quality kBetter{"Better", 1, 1, 0.12};
constexpr Quality kBest{"Best", 5, 0, 0.04};

template <class Pixel>
constexpr float thresholdOf() {
    if constexpr (Pixel::isFloat)
        return 0.05545936f;
    else if constexpr (Pixel::fullScale == 255.0f)
        return 14.142136f;
    else
        return 1817.2922f;
}

struct Motion {
    Motion(int32_t width, int32_t height)
        : width(width), height(height), u(size_t(width) * height, 99.0f), v(u.size(), 99.0f) {}
    // Mean absolute difference from (du, dv) over the pixels at least
    // `margin` from every edge.
    double meanError(const std::vector<float>& plane, double expected, int32_t margin) const {
        double sum = 0.0;
        int64_t n = 0;
        for (int32_t y = margin; y < height - margin; ++y)
            for (int32_t x = margin; x < width - margin; ++x, ++n)
                sum += std::fabs(plane[size_t(y) * width + x] - expected);
        return sum / double(n);
    }
    int32_t width, height;
    std::vector<float> u, v;
};

template <class Pixel, class Order>
Motion estimate(TestHost& host, uint32_t features, const Quality& q, TestFrame<Pixel>& a, TestFrame<Pixel>& b,
                bool correctErrors = false, LumaSource luma = LumaSource::WeightedRGB,
                Sarn_MotionObserver* observer = nullptr) {
    Motion m(a.width, a.height);
    EstimateFrameMotion<Pixel, Order>(RenderContext{host.inData(), features}, a.width, a.height, a.data(),
                                      b.data(), a.rowBytes, b.rowBytes, m.u.data(), m.v.data(), q.passes,
                                      q.finestLevel, thresholdOf<Pixel>(), correctErrors, luma, observer);
    return m;
}

// A picture shifted by (1.25, -0.5) is found as that motion in the interior,
// for every quality, depth, channel order and solver path.
template <class Pixel, class Order>
void expectShiftFound(uint32_t features) {
    TestHost host(2);
    const ThreadCountScope workers(2);
    TestFrame<Pixel> a(192, 128), b(192, 128);
    a.template picture<Order>(0.0, 0.0);
    b.template picture<Order>(1.25, -0.5);
    for (const Quality& q : {kFast, kBetter, kBest}) {
        const Motion m = estimate<Pixel, Order>(host, features, q, a, b);
        EXPECT_LT(m.meanError(m.u, 1.25, 12), q.tolerance) << q.name;
        EXPECT_LT(m.meanError(m.v, -0.5, 12), q.tolerance) << q.name;
    }
    EXPECT_EQ(host.liveHandles(), 0);
}

TEST(FrameMotionShift, Argb8) { expectShiftFound<Sarn_Pixel8, Sarn_OrderARGB>(kVector); }
TEST(FrameMotionShift, Argb8ScalarSolver) { expectShiftFound<Sarn_Pixel8, Sarn_OrderARGB>(kScalar); }
TEST(FrameMotionShift, Argb16) { expectShiftFound<Sarn_Pixel16, Sarn_OrderARGB>(kVector); }
TEST(FrameMotionShift, ArgbFloat) { expectShiftFound<Sarn_PixelF, Sarn_OrderARGB>(kVector); }
TEST(FrameMotionShift, Rgba8) { expectShiftFound<Sarn_Pixel8, Sarn_OrderRGBA>(kVector); }
TEST(FrameMotionShift, Rgba16) { expectShiftFound<Sarn_Pixel16, Sarn_OrderRGBA>(kVector); }
TEST(FrameMotionShift, RgbaFloat) { expectShiftFound<Sarn_PixelF, Sarn_OrderRGBA>(kVector); }

TEST(FrameMotionStill, IdenticalImagesGiveAnAllZeroField) {
    TestHost host(2);
    const ThreadCountScope workers(2);
    for (const Quality& q : {kFast, kBetter, kBest}) {
        TestFrame<Sarn_PixelF> a(50, 37);
        a.picture<Sarn_OrderRGBA>(0.3, 0.0);
        for (uint32_t features : {kScalar, kVector}) {
            const Motion m = estimate<Sarn_PixelF, Sarn_OrderRGBA>(host, features, q, a, a, true);
            EXPECT_EQ(m.u, std::vector<float>(m.u.size(), 0.0f)) << q.name;
            EXPECT_EQ(m.v, m.u) << q.name;
        }
    }
    EXPECT_EQ(host.liveHandles(), 0);
}


// A uniform 2-pixel pan: the estimated vectors point at matching colour in B
// and survive; where B's content was replaced, every vector is discarded.
TEST(FrameMotionDiscard, TrueVectorsOfAPanSurviveAndVectorsAtWrongContentAreDiscarded) {
    TestHost host(2);
    const ThreadCountScope workers(2);
    const int32_t w = 128, h = 96;
    TestFrame<Sarn_Pixel8> a(w, h), b(w, h);
    a.picture<Sarn_OrderARGB>(0.0, 0.0);
    b.picture<Sarn_OrderARGB>(2.0, 0.0);
    const Motion kept = estimate<Sarn_Pixel8, Sarn_OrderARGB>(host, kVector, kBest, a, b, true);
    int64_t interior = 0, survived = 0;
    for (int32_t y = 12; y < h - 12; ++y)
        for (int32_t x = 12; x < w - 12; ++x, ++interior)
            if (kept.u[size_t(y) * w + x] != Sarn_InvalidMotion)
                ++survived;
    EXPECT_GT(double(survived) / double(interior), 0.95);

    // B with a flat black square where A's content would have moved to.
    b.fill([](int c, int32_t x, int32_t y) {
        if (c == Sarn_OrderARGB::alpha)
            return 255.0;
        return x >= 50 && x < 90 && y >= 30 && y < 70 ? 0.0 : motionTestPicture(x - 2.0, y);
    });
    const Motion marked = estimate<Sarn_Pixel8, Sarn_OrderARGB>(host, kVector, kBest, a, b, true);
    int64_t inside = 0, discarded = 0;
    // The core of the square: vectors near its rim may reach true content.
    for (int32_t y = 40; y < 60; ++y)
        for (int32_t x = 60; x < 80; ++x, ++inside)
            if (marked.u[size_t(y) * w + x] == Sarn_InvalidMotion && marked.v[size_t(y) * w + x] == Sarn_InvalidMotion)
                ++discarded;
    EXPECT_EQ(discarded, inside);
    // Away from the square the pan is still found and kept.
    EXPECT_NEAR(marked.u[size_t(80) * w + 20], 2.0f, 0.1f);
    EXPECT_EQ(host.liveHandles(), 0);
}

// Y moves by (1, 0) while the chroma channels hold a still picture of their
// own: motion from Y finds the move; the weighted mix (nine tenths chroma)
// would see mostly the still chroma.
TEST(FrameMotionVuya, MotionOfVuyaFramesFollowsY) {
    TestHost host(2);
    const ThreadCountScope workers(2);
    TestFrame<Sarn_Pixel8> a(128, 96), b(128, 96);
    const auto vuya = [](double dx) {
        return [dx](int c, int32_t x, int32_t y) {
            if (c == 3)
                return 255.0;
            if (c == 2)
                return motionTestPicture(x - dx, y);
            return motionTestPicture(y * 1.3 + 7.0, x * 0.8 + 3.0);
        };
    };
    a.fill(vuya(0.0));
    b.fill(vuya(1.0));
    const Motion fromY = estimate<Sarn_Pixel8, Sarn_OrderRGBA>(host, kVector, kBest, a, b, false, LumaSource::YChannel);
    EXPECT_LT(fromY.meanError(fromY.u, 1.0, 12), 0.05);
    EXPECT_LT(fromY.meanError(fromY.v, 0.0, 12), 0.05);
    const Motion mixed = estimate<Sarn_Pixel8, Sarn_OrderRGBA>(host, kVector, kBest, a, b);
    EXPECT_GT(mixed.meanError(mixed.u, 1.0, 12), 0.3);
    EXPECT_EQ(host.liveHandles(), 0);
}

} // namespace

// Turning both pictures by 180 degrees turns the motion field with them and
// negates it: no direction is preferred, also at the image edges, where the
// luminance warp takes the nearest sample. (With the floored sample there,
// both orientations of this pair gave a downward mean motion, 0.75 pixels for
// "Fast" and 0.3 for "Better", where there is none.)
TEST(FrameMotionSymmetry, TurnedPicturesGiveTheTurnedNegatedMotion) {
    constexpr int32_t w = 256, h = 40;
    for (const Quality& q : {kFast, kBetter}) {
        TestHost host(2);
        const ThreadCountScope workers(2);
        TestFrame<Sarn_Pixel8> a(w, h), b(w, h), turnedA(w, h), turnedB(w, h);
        const auto picture = [](double shift, bool turned) {
            return [shift, turned](int c, int32_t x, int32_t y) {
                if (c == Sarn_OrderARGB::alpha)
                    return 255.0;
                const double px = turned ? w - 1 - x : x, py = turned ? h - 1 - y : y;
                return motionTestPicture(px + shift, 2.0 * py);
            };
        };
        a.fill(picture(3.0, false));
        b.fill(picture(0.0, false));
        turnedA.fill(picture(3.0, true));
        turnedB.fill(picture(0.0, true));
        const Motion m = estimate<Sarn_Pixel8, Sarn_OrderARGB>(host, kVector, q, a, b);
        const Motion t = estimate<Sarn_Pixel8, Sarn_OrderARGB>(host, kVector, q, turnedA, turnedB);
        double meanV = 0.0, asymmetryU = 0.0, asymmetryV = 0.0;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const size_t i = size_t(y) * w + x, j = size_t(h - 1 - y) * w + size_t(w - 1 - x);
                meanV += m.v[i];
                asymmetryU += m.u[i] + t.u[j];
                asymmetryV += m.v[i] + t.v[j];
            }
        const double n = double(w) * h;
        EXPECT_LT(std::fabs(asymmetryU / n), 0.01) << q.name;
        EXPECT_LT(std::fabs(asymmetryV / n), 0.01) << q.name << ", mean v " << meanV / n;
        EXPECT_EQ(host.liveHandles(), 0);
    }
}
