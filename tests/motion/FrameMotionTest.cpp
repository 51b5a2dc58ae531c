#include "image/Sarn_LumY.h"
#include "motion/EstimateFrameMotion.h"
#include "image/SarnDiscardWarp.h"
#include "parallel/KelException.h"
#include "parallel/ProcessorFeatures.h"
#include "parallel/ThreadCount.h"
#include "tests/motion/FrameMotionSupport.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <new>
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

template <class Pixel, class Order>
Motion shiftedPair(const Quality& q, double dx, double dy, uint32_t features = kVector) {
    TestHost host(2);
    Sarn_SetThreadCount(2);
    TestFrame<Pixel> a(192, 128), b(192, 128);
    a.template picture<Order>(0.0, 0.0);
    b.template picture<Order>(dx, dy);
    Motion m = estimate<Pixel, Order>(host, features, q, a, b);
    EXPECT_EQ(host.liveHandles(), 0);
    return m;
}

// A picture shifted by (1.25, -0.5) is found as that motion in the interior,
// for every quality, depth, channel order and solver path.
template <class Pixel, class Order>
void expectShiftFound(uint32_t features) {
    for (const Quality& q : {kFast, kBetter, kBest}) {
        const Motion m = shiftedPair<Pixel, Order>(q, 1.25, -0.5, features);
        const double eu = m.meanError(m.u, 1.25, 12), ev = m.meanError(m.v, -0.5, 12);
        EXPECT_LT(eu, q.tolerance) << q.name;
        EXPECT_LT(ev, q.tolerance) << q.name;
        std::printf("%-6s mean error u %.4f v %.4f\n", q.name, eu, ev);
    }
}

TEST(FrameMotionShift, Argb8) { expectShiftFound<Sarn_Pixel8, Sarn_OrderARGB>(kVector); }
TEST(FrameMotionShift, Argb8ScalarSolver) { expectShiftFound<Sarn_Pixel8, Sarn_OrderARGB>(kScalar); }
TEST(FrameMotionShift, Argb16) { expectShiftFound<Sarn_Pixel16, Sarn_OrderARGB>(kVector); }
TEST(FrameMotionShift, ArgbFloat) { expectShiftFound<Sarn_PixelF, Sarn_OrderARGB>(kVector); }
TEST(FrameMotionShift, Rgba8) { expectShiftFound<Sarn_Pixel8, Sarn_OrderRGBA>(kVector); }
TEST(FrameMotionShift, Rgba16) { expectShiftFound<Sarn_Pixel16, Sarn_OrderRGBA>(kVector); }
TEST(FrameMotionShift, RgbaFloat) { expectShiftFound<Sarn_PixelF, Sarn_OrderRGBA>(kVector); }

// With the data scale carried to each depth's full scale, the depths differ
// only by the quantisation of their luminance.
TEST(FrameMotionDepths, SamePictureGivesEssentiallyTheSameMotionAtEveryDepth) {
    for (const Quality& q : {kBetter, kBest}) {
        const Motion m8 = shiftedPair<Sarn_Pixel8, Sarn_OrderARGB>(q, 0.6, 0.3);
        const Motion m16 = shiftedPair<Sarn_Pixel16, Sarn_OrderARGB>(q, 0.6, 0.3);
        const Motion mF = shiftedPair<Sarn_PixelF, Sarn_OrderARGB>(q, 0.6, 0.3);
        // 8-bit rounding moves single vectors by up to about 0.14; on average
        // the depths agree closely, 16-bit and float almost exactly.
        double mean8 = 0.0, worstFloat = 0.0;
        for (size_t i = 0; i < m8.u.size(); ++i) {
            mean8 += std::fabs(m8.u[i] - m16.u[i]) + std::fabs(m8.v[i] - m16.v[i]);
            worstFloat = std::max({worstFloat, double(std::fabs(m16.u[i] - mF.u[i])),
                                   double(std::fabs(m16.v[i] - mF.v[i]))});
        }
        mean8 /= double(2 * m8.u.size());
        std::printf("%-6s mean difference 8/16-bit %.4f, largest 16-bit/float %.4f\n", q.name, mean8, worstFloat);
        EXPECT_LT(mean8, 0.04) << q.name;
        EXPECT_LT(worstFloat, 0.01) << q.name;
    }
}

TEST(FrameMotionStill, IdenticalImagesGiveAnAllZeroField) {
    TestHost host(2);
    Sarn_SetThreadCount(2);
    for (const Quality& q : {kFast, kBetter, kBest}) {
        TestFrame<Sarn_PixelF> a(50, 37);
        a.picture<Sarn_OrderRGBA>(0.3, 0.0);
        for (uint32_t features : {kScalar, kVector}) {
            const Motion m = estimate<Sarn_PixelF, Sarn_OrderRGBA>(host, features, q, a, a, true);
            for (size_t i = 0; i < m.u.size(); ++i) {
                ASSERT_EQ(m.u[i], 0.0f) << q.name << " at " << i;
                ASSERT_EQ(m.v[i], 0.0f) << q.name << " at " << i;
            }
        }
    }
    EXPECT_EQ(host.liveHandles(), 0);
}

} // namespace
