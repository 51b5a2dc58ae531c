#include "image/Sarn_ARWarp.h"
#include "image/Sarn_DiscardWarp.h"
#include "parallel/ProcessorFeatures.h"
#include "parallel/Sarn_Thread.h"
#include "parallel/Sarn_SetThreadCount.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// An image over columns [x0, x1) and rows [y0, y1) plus a margin of random
// bytes around it; origin() is element (0, 0) for absolute addressing.
struct Image {
    Image(int32_t x0, int32_t x1, int32_t y0, int32_t y1, int32_t bytes, int32_t margin = 4)
        : x0(x0 - margin), y0(y0 - margin), bytes(bytes), stride((x1 - x0 + 2 * margin) * bytes),
          storage(size_t(y1 - y0 + 2 * margin) * size_t(stride), 0xA5) {}
    uint8_t* at(int32_t x, int32_t y) {
        return storage.data() + int64_t(y - y0) * stride + int64_t(x - x0) * bytes;
    }
    // Element (0, 0), or row `firstRow` at column 0.
    uint8_t* origin(int32_t firstRow = 0) { return at(0, firstRow); }
    int32_t x0, y0, bytes, stride;
    std::vector<uint8_t> storage;
};

template <class Pixel>
float channel(Image& image, int32_t x, int32_t y, int c) {
    typename Pixel::Type v;
    std::memcpy(&v, image.at(x, y) + c * sizeof(v), sizeof(v));
    return float(v);
}
template <class Pixel>
void setChannel(Image& image, int32_t x, int32_t y, int c, float value) {
    const auto v = typename Pixel::Type(value);
    std::memcpy(image.at(x, y) + c * sizeof(v), &v, sizeof(v));
}
float motion(Image& plane, int32_t x, int32_t y) {
    float v;
    std::memcpy(&v, plane.at(x, y), 4);
    return v;
}
void setMotion(Image& plane, int32_t x, int32_t y, float v) { std::memcpy(plane.at(x, y), &v, 4); }

template <class Pixel>
constexpr float fullScaleOf() {
    if constexpr (Pixel::isFloat)
        return 1.0f;
    else
        return Pixel::fullScale;
}
template <class Pixel>
float randomChannel(std::mt19937& rng) {
    if constexpr (Pixel::isFloat)
        return std::uniform_real_distribution<float>(-0.25f, 1.25f)(rng);
    else
        return float(std::uniform_int_distribution<int>(0, int(Pixel::fullScale))(rng));
}
template <class Pixel>
void fillRandom(Image& image, std::mt19937& rng) {
    const int32_t columns = image.stride / image.bytes;
    const int32_t rows = int32_t(image.storage.size() / size_t(image.stride));
    for (int32_t y = image.y0; y < image.y0 + rows; ++y)
        for (int32_t x = image.x0; x < image.x0 + columns; ++x)
            for (int c = 0; c < 4; ++c)
                setChannel<Pixel>(image, x, y, c, randomChannel<Pixel>(rng));
}

// Written out plainly from the definition, pixel by pixel, sampling V, A and
// B each on its own.
float cubic(float p0, float p1, float p2, float p3, float t) {
    return 0.5f * (2.0f * p1 + (p2 - p0 + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3 + (3.0f * (p1 - p2) + p3 - p0) * t) * t) * t);
}
template <class Pixel>
float sample(Image& s, int c, int32_t ix, float fx, int32_t topRow, float fy) {
    float rows[4];
    for (int k = 0; k < 4; ++k) {
        const int32_t y = topRow + k;
        rows[k] = cubic(channel<Pixel>(s, ix - 1, y, c), channel<Pixel>(s, ix, y, c),
                        channel<Pixel>(s, ix + 1, y, c), channel<Pixel>(s, ix + 2, y, c), fx);
    }
    return cubic(rows[0], rows[1], rows[2], rows[3], fy);
}
template <class Pixel>
float stored(float v) {
    if constexpr (Pixel::isFloat) {
        return v;
    } else {
        if (v <= 0.0f)
            return 0.0f;
        if (v >= Pixel::fullScale)
            return Pixel::fullScale;
        return std::floor(v + 0.5f);
    }
}
bool cell(float s, int32_t& i, float& f) {
    if (!std::isfinite(s) || std::fabs(s) > 1.0e9f)
        return false;
    i = int32_t(std::floor(double(s)));
    f = s - float(i);
    return true;
}

struct WarpSetup {
    Sarn_Rect fieldRect, sourceRect, rect;
    float lineOffset;
};

template <class Pixel, class Order>
void referenceARWarp(Image& f, Image& s, Image& d, Image& mx, Image& my, const WarpSetup& w) {
    const int colour[3] = {Order::c1, Order::c2, Order::c3};
    for (int32_t y = w.rect.y0; y < w.rect.y1; ++y) {
        const bool upperExists = y >= w.fieldRect.y0 && y < w.fieldRect.y1;
        const bool lowerExists = y + 1 >= w.fieldRect.y0 && y + 1 < w.fieldRect.y1;
        if (!upperExists && !lowerExists)
            continue;
        const int32_t upperRow = upperExists ? y : y + 1;
        const int32_t lowerRow = lowerExists ? y + 1 : y;
        for (int32_t x = w.rect.x0; x < w.rect.x1; ++x) {
            const float sx = float(x) + motion(mx, x, y);
            const float sy = 2.0f * (float(y) + motion(my, x, y)) + w.lineOffset;
            float v[4] = {0, 0, 0, 0}, weight = 1.0f;
            int32_t ix, iy;
            float fx, fy;
            const Sarn_Rect& b = w.sourceRect;
            if (cell(sx, ix, fx) && cell(sy, iy, fy) && ix > b.x0 && ix < b.x1 - 2 && iy >= b.y0 + 2 &&
                iy < b.y1 - 3) {
                for (int c = 0; c < 4; ++c)
                    v[c] = sample<Pixel>(s, c, ix, fx, iy - 1, fy);
                float predictionError = 0.0f, departure = 0.0f;
                for (int c : colour)
                    predictionError += channel<Pixel>(f, x, upperRow, c) - sample<Pixel>(s, c, ix, fx, iy - 2, fy);
                float lowerError = 0.0f;
                for (int c : colour)
                    lowerError += channel<Pixel>(f, x, lowerRow, c) - sample<Pixel>(s, c, ix, fx, iy, fy);
                for (int c : colour)
                    departure += channel<Pixel>(d, x, y, c) - v[c];
                weight = std::min(1.0f, (std::fabs(predictionError + lowerError) + 0.001f) /
                                            (std::fabs(departure) + 0.001f));
            }
            for (int c = 0; c < 4; ++c) {
                const float blended = (channel<Pixel>(d, x, y, c) - v[c]) * weight + v[c];
                if constexpr (Pixel::isFloat)
                    std::memcpy(d.at(x, y) + 4 * c, &blended, 4);
                else
                    setChannel<Pixel>(d, x, y, c, stored<Pixel>(blended));
            }
        }
    }
}

struct DiscardSetup {
    Sarn_Rect rect;
    float scaleX, scaleY, offsetX, offsetY, threshold;
};

template <class Pixel>
void referenceDiscard(Image& s, Image& r, Image& mx, Image& my, const DiscardSetup& w) {
    const Sarn_Rect& b = w.rect;
    for (int32_t y = b.y0; y < b.y1; ++y)
        for (int32_t x = b.x0; x < b.x1; ++x) {
            const float sx = float(x) + w.offsetX + motion(mx, x, y) * w.scaleX;
            const float sy = motion(my, x, y) * w.scaleY + float(y) + w.offsetY;
            int32_t ix, iy;
            float fx, fy;
            if (!cell(sx, ix, fx) || !cell(sy, iy, fy) || ix <= b.x0 || ix >= b.x1 - 2 || iy <= b.y0 ||
                iy >= b.y1 - 2)
                continue;
            bool keep = true;
            for (int c = 0; c < 4; ++c) {
                const float difference = channel<Pixel>(r, x, y, c) - sample<Pixel>(s, c, ix, fx, iy - 1, fy);
                keep = keep && !(difference < -w.threshold || difference > w.threshold);
            }
            if (!keep) {
                setMotion(mx, x, y, -1000000.0f);
                setMotion(my, x, y, -1000000.0f);
            }
        }
}

// Restores one worker and the widest SIMD tier whatever a test does.
struct RunnerGuard {
    ~RunnerGuard() {
        Sarn_SetThreadCount(1);
        setSimdLevelLimit(SimdLevel::AVX512);
    }
};

template <class PixelT, class OrderT>
struct Instance {
    using Pixel = PixelT;
    using Order = OrderT;
    using ARWarp = Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Pixel>, Sarn_MotionPlanes, Order>;
    using DiscardWarp = Sarn_DiscardWarp<Sarn_AE_Environ, Sarn_PixelPtr<Pixel>, Sarn_MotionPlanes>;
};

template <class Inst>
void runARWarp(TestHost& host, Image& f, Image& s, Image& d, Image& mx, Image& my, const WarpSetup& w) {
    typename Inst::ARWarp job(host.inData(), f.origin(w.fieldRect.y0), s.origin(), d.origin(), f.stride, s.stride,
                              d.stride, mx.origin(), my.origin(), mx.stride, &w.fieldRect, &w.sourceRect,
                              &w.rect, w.lineOffset);
    job.execute();
}
template <class Inst>
void runDiscard(TestHost& host, Image& s, Image& r, Image& mx, Image& my, const DiscardSetup& w) {
    typename Inst::DiscardWarp job(host.inData(), s.origin(), r.origin(), s.stride, r.stride, mx.origin(),
                                   my.origin(), mx.stride, &w.rect, w.scaleX, w.scaleY, w.offsetX, w.offsetY,
                                   w.threshold);
    job.execute();
}

template <class Inst>
class ColourWarpInstances : public ::testing::Test {};
using AllInstances = ::testing::Types<
    Instance<Sarn_Pixel8, Sarn_OrderARGB>, Instance<Sarn_Pixel16, Sarn_OrderARGB>, Instance<Sarn_PixelF, Sarn_OrderARGB>,
    Instance<Sarn_Pixel8, Sarn_OrderRGBA>, Instance<Sarn_Pixel16, Sarn_OrderRGBA>, Instance<Sarn_PixelF, Sarn_OrderRGBA>>;
TYPED_TEST_SUITE(ColourWarpInstances, AllInstances);

// The discard warp has no channel order: one instance per depth.
template <class Inst>
class DiscardWarpDepths : public ::testing::Test {};
using Depths = ::testing::Types<Instance<Sarn_Pixel8, Sarn_OrderARGB>, Instance<Sarn_Pixel16, Sarn_OrderARGB>,
                                Instance<Sarn_PixelF, Sarn_OrderARGB>>;
TYPED_TEST_SUITE(DiscardWarpDepths, Depths);

// Random images and vectors (in range, at the edges, far out, the invalid
// marker) against the plain computation, for several band counts, SIMD tiers
// and rectangles with negative origins, odd widths and rows beyond the field.
TYPED_TEST(ColourWarpInstances, ARWarpMatchesPlainComputation) {
    using Pixel = typename TypeParam::Pixel;
    using Order = typename TypeParam::Order;
    RunnerGuard guard;
    TestHost host(2);
    std::mt19937 rng(1234);
    const WarpSetup setups[] = {
        {{-3, 20, 0, 9}, {-3, 20, -2, 18}, {-3, 20, -1, 9}, 1.0f},
        {{0, 37, 2, 12}, {1, 35, 0, 25}, {0, 37, 0, 12}, 0.0f},  // rows 2 and 1 above the field
        {{0, 5, 0, 4}, {0, 5, 0, 8}, {0, 5, 0, 4}, 1.0f},
    };
    for (const WarpSetup& w : setups) {
        const Sarn_Rect& b = w.rect;
        Image f(b.x0, b.x1, w.fieldRect.y0, w.fieldRect.y1, Pixel::bytes);
        Image s(w.sourceRect.x0, w.sourceRect.x1, w.sourceRect.y0, w.sourceRect.y1, Pixel::bytes);
        Image d(b.x0, b.x1, b.y0, b.y1, Pixel::bytes);
        Image mx(b.x0, b.x1, b.y0, b.y1, 4), my(b.x0, b.x1, b.y0, b.y1, 4);
        fillRandom<Pixel>(f, rng);
        fillRandom<Pixel>(s, rng);
        fillRandom<Pixel>(d, rng);
        std::uniform_real_distribution<float> dx(-4.0f, 4.0f), dy(-2.5f, 2.5f), kind(0.0f, 1.0f);
        for (int32_t y = b.y0; y < b.y1; ++y)
            for (int32_t x = b.x0; x < b.x1; ++x) {
                const float k = kind(rng);
                const bool invalid = k < 0.05f, far = k > 0.97f;
                setMotion(mx, x, y, invalid ? -1000000.0f : far ? 5000.0f : dx(rng));
                setMotion(my, x, y, invalid ? -1000000.0f : far ? -3.0e9f : dy(rng));
            }
        Image expected = d;
        referenceARWarp<Pixel, Order>(f, s, expected, mx, my, w);
        for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::AVX2, SimdLevel::AVX512}) {
            setSimdLevelLimit(level);
            for (int threads : {1, 2, 3, 7}) {
                Sarn_SetThreadCount(threads);
                Image out = d;
                runARWarp<TypeParam>(host, f, s, out, mx, my, w);
                EXPECT_TRUE(out.storage == expected.storage)
                    << "threads " << threads << " level " << int(level) << " rect width " << b.x1 - b.x0;
            }
        }
    }
}

TYPED_TEST(DiscardWarpDepths, DiscardWarpMatchesPlainComputation) {
    using Pixel = typename TypeParam::Pixel;
    RunnerGuard guard;
    TestHost host(2);
    std::mt19937 rng(99);
    const float full = fullScaleOf<Pixel>();
    const DiscardSetup setups[] = {
        {{-3, 30, -2, 15}, 1.0f, 1.0f, 0.0f, 0.0f, 0.45f * full},
        {{1, 8, 0, 9}, 0.5f, -1.5f, 0.25f, -0.75f, 0.3f * full},
        {{0, 4, 0, 4}, 1.0f, 1.0f, 0.0f, 0.0f, 0.45f * full},
    };
    for (const DiscardSetup& w : setups) {
        const Sarn_Rect& b = w.rect;
        Image s(b.x0, b.x1, b.y0, b.y1, Pixel::bytes), r(b.x0, b.x1, b.y0, b.y1, Pixel::bytes);
        Image mx(b.x0, b.x1, b.y0, b.y1, 4), my(b.x0, b.x1, b.y0, b.y1, 4);
        fillRandom<Pixel>(s, rng);
        fillRandom<Pixel>(r, rng);
        std::uniform_real_distribution<float> vector(-3.0f, 3.0f);
        for (int32_t y = b.y0; y < b.y1; ++y)
            for (int32_t x = b.x0; x < b.x1; ++x) {
                setMotion(mx, x, y, vector(rng));
                setMotion(my, x, y, vector(rng));
            }
        Image expectedX = mx, expectedY = my;
        referenceDiscard<Pixel>(s, r, expectedX, expectedY, w);
        int marked = 0;
        for (int32_t y = b.y0; y < b.y1; ++y)
            for (int32_t x = b.x0; x < b.x1; ++x)
                marked += motion(expectedX, x, y) == -1000000.0f;
        if (b.x1 - b.x0 > 10) { // the inputs exercise both outcomes
            EXPECT_GT(marked, 0);
            EXPECT_LT(marked, (b.x1 - b.x0) * (b.y1 - b.y0));
        }
        for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::AVX2, SimdLevel::AVX512}) {
            setSimdLevelLimit(level);
            for (int threads : {1, 2, 3, 7}) {
                Sarn_SetThreadCount(threads);
                Image outX = mx, outY = my;
                runDiscard<TypeParam>(host, s, r, outX, outY, w);
                EXPECT_TRUE(outX.storage == expectedX.storage && outY.storage == expectedY.storage)
                    << "threads " << threads << " level " << int(level);
            }
        }
    }
}

// A zero field over a constant source equal to the fallback: V = D, so any
// weight gives D back.
TYPED_TEST(ColourWarpInstances, ZeroFieldOverConstantSourceKeepsDestination) {
    using Pixel = typename TypeParam::Pixel;
    TestHost host(0);
    std::mt19937 rng(7);
    const WarpSetup w{{0, 12, 0, 8}, {0, 12, 0, 16}, {0, 12, 0, 7}, 1.0f};
    const float value[4] = {fullScaleOf<Pixel>(), 17.0f, 0.0f, 101.0f};
    Image f(0, 12, 0, 8, Pixel::bytes), s(0, 12, 0, 16, Pixel::bytes), d(0, 12, 0, 7, Pixel::bytes);
    Image mx(0, 12, 0, 7, 4), my(0, 12, 0, 7, 4);
    fillRandom<Pixel>(f, rng);
    for (Image* image : {&s, &d})
        for (int32_t y = image == &s ? -4 : -4; y < (image == &s ? 20 : 11); ++y)
            for (int32_t x = -4; x < 16; ++x)
                for (int c = 0; c < 4; ++c)
                    setChannel<Pixel>(*image, x, y, c, value[c]);
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 12; ++x)
            setMotion(mx, x, y, 0.0f), setMotion(my, x, y, 0.0f);
    const Image before = d;
    runARWarp<TypeParam>(host, f, s, d, mx, my, w);
    EXPECT_TRUE(d.storage == before.storage);
}

// S is the frame whose other rows are F, so the compensated neighbours A and
// B equal the kept lines U and W exactly: e = 0.001. A destination 30 away
// from V in each colour channel (d = 90.001) takes V almost entirely; with the
// kept lines 100 away the weight is limited to 1 and D stays.
TYPED_TEST(ColourWarpInstances, PerfectPredictionReplacesAndBadPredictionKeeps) {
    using Pixel = typename TypeParam::Pixel;
    using Order = typename TypeParam::Order;
    TestHost host(0);
    const int32_t width = 9, fieldRows = 8;
    const WarpSetup w{{0, width, 0, fieldRows}, {0, width, 0, 2 * fieldRows}, {0, width, 2, 5}, 1.0f};
    for (const float keptError : {0.0f, 100.0f}) {
        Image f(0, width, 0, fieldRows, Pixel::bytes), s(0, width, 0, 2 * fieldRows, Pixel::bytes);
        Image d(0, width, 0, fieldRows, Pixel::bytes), mx(0, width, 0, fieldRows, 4), my(0, width, 0, fieldRows, 4);
        for (int32_t y = 0; y < 2 * fieldRows; ++y)
            for (int32_t x = 0; x < width; ++x)
                for (int c = 0; c < 4; ++c) {
                    const float v = float(40 + 3 * x + 5 * y + 11 * c);
                    setChannel<Pixel>(s, x, y, c, v);
                    if (y % 2 == 0) // kept lines: frame rows 0, 2, 4, ...
                        setChannel<Pixel>(f, x, y / 2, c, c == Order::alpha ? v : v + keptError);
                    else // missing lines: 30 above the compensated value
                        setChannel<Pixel>(d, x, y / 2, c, v + (c == Order::alpha ? 60.0f : 30.0f));
                }
        for (int32_t y = 0; y < fieldRows; ++y)
            for (int32_t x = 0; x < width; ++x)
                setMotion(mx, x, y, 0.0f), setMotion(my, x, y, 0.0f);
        Image before = d;
        runARWarp<TypeParam>(host, f, s, d, mx, my, w);
        const float weight = keptError == 0.0f ? 0.001f / 90.001f : 1.0f;
        for (int32_t y = 0; y < fieldRows; ++y)
            for (int32_t x = 0; x < width; ++x)
                for (int c = 0; c < 4; ++c) {
                    const float fallback = channel<Pixel>(before, x, y, c);
                    // In bounds: columns 1 .. width - 3, frame rows 2 .. 2 * fieldRows - 4.
                    const bool warped = y >= 2 && y < 5 && x >= 1 && x <= width - 3;
                    const float v = float(40 + 3 * x + 5 * (2 * y + 1) + 11 * c);
                    const float expected = warped ? v + (fallback - v) * weight : fallback;
                    if constexpr (Pixel::isFloat) {
                        EXPECT_NEAR(channel<Pixel>(d, x, y, c), expected, 1e-4f) << x << "," << y << " c" << c;
                    } else {
                        EXPECT_EQ(channel<Pixel>(d, x, y, c), std::floor(expected + 0.5f)) << x << "," << y;
                    }
                }
    }
}

// Sample positions at each side of the source rectangle's bounds (a negative
// origin included, where floor and truncation part): one cell inside warps,
// the boundary cell leaves D unchanged.
TYPED_TEST(ColourWarpInstances, ARWarpBoundsAreTight) {
    using Pixel = typename TypeParam::Pixel;
    TestHost host(0);
    const Sarn_Rect source{-3, 12, -5, 15};
    struct Case {
        float sx, sy;
        bool warped;
    };
    const Case cases[] = {
        {-2.5f, 5.5f, false}, {-1.5f, 5.5f, true},  // ix = x0 | x0 + 1
        {10.5f, 5.5f, false}, {9.5f, 5.5f, true},   // ix = x1 - 2 | x1 - 3
        {4.5f, -3.5f, false}, {4.5f, -2.5f, true},  // iy = y0 + 1 | y0 + 2 (near the top)
        {4.5f, 12.5f, false}, {4.5f, 11.5f, true},  // iy = y1 - 3 | y1 - 4
        {-2.999f, 5.0f, false}, {4.5f, -3.001f, false},
        {NAN, 5.0f, false}, {4.0f, INFINITY, false}, {-1000000.0f, -1000000.0f, false},
    };
    for (const Case& k : cases) {
        // Constant source 100, kept lines 100, fallback 130: a warp gives ~100.
        Image s(source.x0, source.x1, source.y0, source.y1, Pixel::bytes);
        Image f(0, 1, 0, 2, Pixel::bytes), d(0, 1, 0, 1, Pixel::bytes), mx(0, 1, 0, 1, 4), my(0, 1, 0, 1, 4);
        for (int32_t y = source.y0 - 4; y < source.y1 + 4; ++y)
            for (int32_t x = source.x0 - 4; x < source.x1 + 4; ++x)
                for (int c = 0; c < 4; ++c)
                    setChannel<Pixel>(s, x, y, c, 100.0f);
        for (int c = 0; c < 4; ++c) {
            setChannel<Pixel>(f, 0, 0, c, 100.0f);
            setChannel<Pixel>(f, 0, 1, c, 100.0f);
            setChannel<Pixel>(d, 0, 0, c, 130.0f);
        }
        // sx = 0 + dx, sy = 2 * (0 + dy) + 0.
        setMotion(mx, 0, 0, k.sx);
        setMotion(my, 0, 0, k.sy / 2.0f);
        const WarpSetup w{{0, 1, 0, 2}, source, {0, 1, 0, 1}, 0.0f};
        runARWarp<TypeParam>(host, f, s, d, mx, my, w);
        EXPECT_NEAR(channel<Pixel>(d, 0, 0, 1), k.warped ? 100.0f : 130.0f, 0.01f) << k.sx << ", " << k.sy;
    }
}

// 8-bit stores round half up and clamp: a channel blended to about 255.62
// stores 255 (not 256 wrapped to 0), one at about -0.12 stores 0; 16-bit
// stores round it to 256; float destinations keep the overshoot.
TYPED_TEST(ColourWarpInstances, BlendedValuesAreClampedOnIntegerStores) {
    using Pixel = typename TypeParam::Pixel;
    using Order = typename TypeParam::Order;
    TestHost host(0);
    Image s(0, 8, 0, 12, Pixel::bytes), f(0, 8, 0, 6, Pixel::bytes), d(0, 8, 0, 6, Pixel::bytes);
    Image mx(0, 8, 0, 6, 4), my(0, 8, 0, 6, 4);
    const int c1 = Order::c1, c2 = Order::c2, c3 = Order::c3, a = Order::alpha;
    // Every row constant per channel, except frame row 5 in channels c1 and c2:
    // [250, 255, 255, 250] samples at t = 0.5 to 255 + 5/8, [1, 0, 0, 1] to -1/8.
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 8; ++x) {
            const bool edge = x == 2 || x == 5;
            setChannel<Pixel>(s, x, y, c1, y == 5 && edge ? 250.0f : 255.0f);
            setChannel<Pixel>(s, x, y, c2, y == 5 && edge ? 1.0f : 0.0f);
            setChannel<Pixel>(s, x, y, c3, 128.0f);
            setChannel<Pixel>(s, x, y, a, 200.0f);
        }
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 8; ++x) {
            for (Image* image : {&f, &d}) {
                setChannel<Pixel>(*image, x, y, c1, 255.0f);
                setChannel<Pixel>(*image, x, y, c2, 0.0f);
                setChannel<Pixel>(*image, x, y, c3, 128.0f);
                setChannel<Pixel>(*image, x, y, a, 200.0f);
            }
            setMotion(mx, x, y, 0.5f);
            setMotion(my, x, y, 0.0f);
        }
    // Row 2 samples frame row 5 at x + 0.5: for x = 3 the columns 2 .. 5.
    const WarpSetup w{{0, 8, 0, 6}, {0, 8, 0, 12}, {3, 4, 2, 3}, 1.0f};
    runARWarp<TypeParam>(host, f, s, d, mx, my, w);
    // e = 0.001, d = |-0.625 + 0.125| + 0.001, so w ~ 0.002.
    const float weight = 0.001f / 0.501f;
    if constexpr (Pixel::isFloat) {
        EXPECT_NEAR(channel<Pixel>(d, 3, 2, c1), 255.625f - 0.625f * weight, 1e-4f);
        EXPECT_NEAR(channel<Pixel>(d, 3, 2, c2), -0.125f + 0.125f * weight, 1e-4f);
    } else {
        EXPECT_EQ(channel<Pixel>(d, 3, 2, c1), Pixel::bytes == 4 ? 255.0f : 256.0f);
        EXPECT_EQ(channel<Pixel>(d, 3, 2, c2), 0.0f);
    }
    EXPECT_EQ(channel<Pixel>(d, 3, 2, c3), 128.0f);
    EXPECT_EQ(channel<Pixel>(d, 3, 2, a), 200.0f);
}

template <class Pixel>
struct DiscardCase {
    const char* what;
    float sx, sy;  // sample position (zero offsets, unit scales)
    int channel;   // channel of R that differs
    float difference;
    bool marked;
};

// Threshold ten times the square root of two: 14.1 keeps, 14.2 marks, in any
// channel and either sign; a neighbourhood touching the rectangle's border
// (ix = x0, ix = x1 - 2, iy = y0, iy = y1 - 2) is kept untested.
TYPED_TEST(DiscardWarpDepths, DiscardThresholdAndUntestedBorders) {
    using Pixel = typename TypeParam::Pixel;
    TestHost host(0);
    const Sarn_Rect rect{-2, 10, -1, 9};
    const bool isFloat = Pixel::isFloat;
    const float small = isFloat ? 14.1f : 14.0f, large = isFloat ? 14.2f : 15.0f;
    const DiscardCase<Pixel> cases[] = {
        {"below", 4.0f, 4.0f, 1, small, false},     {"above", 4.0f, 4.0f, 2, large, true},
        {"negative", 4.5f, 4.25f, 3, -large, true}, {"alpha", 4.0f, 4.0f, 0, large, true},
        {"left edge", -1.5f, 4.0f, 1, 90.0f, false}, {"left inside", -0.5f, 4.0f, 1, 90.0f, true},
        {"right edge", 8.0f, 4.0f, 1, 90.0f, false}, {"right inside", 7.9f, 4.0f, 1, 90.0f, true},
        {"top edge", 4.0f, -0.5f, 1, 90.0f, false},  {"top inside", 4.0f, 0.0f, 1, 90.0f, true},
        {"bottom edge", 4.0f, 7.0f, 1, 90.0f, false}, {"bottom inside", 4.0f, 6.99f, 1, 90.0f, true},
    };
    for (const auto& k : cases) {
        Image s(rect.x0, rect.x1, rect.y0, rect.y1, Pixel::bytes), r(rect.x0, rect.x1, rect.y0, rect.y1, Pixel::bytes);
        Image mx(rect.x0, rect.x1, rect.y0, rect.y1, 4), my(rect.x0, rect.x1, rect.y0, rect.y1, 4);
        for (int32_t y = rect.y0 - 4; y < rect.y1 + 4; ++y)
            for (int32_t x = rect.x0 - 4; x < rect.x1 + 4; ++x) {
                for (int c = 0; c < 4; ++c) {
                    setChannel<Pixel>(s, x, y, c, 100.0f);
                    setChannel<Pixel>(r, x, y, c, 100.0f);
                }
                setMotion(mx, x, y, 0.0f);
                setMotion(my, x, y, 0.0f);
            }
        // The vector at (3, 2) points at (sx, sy); R there differs from S.
        setChannel<Pixel>(r, 3, 2, k.channel, 100.0f + k.difference);
        setMotion(mx, 3, 2, k.sx - 3.0f);
        setMotion(my, 3, 2, k.sy - 2.0f);
        const DiscardSetup w{rect, 1.0f, 1.0f, 0.0f, 0.0f, 14.142136f};
        runDiscard<TypeParam>(host, s, r, mx, my, w);
        const float expectX = k.marked ? -1000000.0f : k.sx - 3.0f;
        const float expectY = k.marked ? -1000000.0f : k.sy - 2.0f;
        EXPECT_EQ(motion(mx, 3, 2), expectX) << k.what;
        EXPECT_EQ(motion(my, 3, 2), expectY) << k.what;
        uint32_t bits;
        std::memcpy(&bits, mx.at(3, 2), 4);
        if (k.marked) {
            EXPECT_EQ(bits, 0xC9742400u);
        }
        // Every other vector matched exactly and stays zero.
        EXPECT_EQ(motion(mx, 4, 2), 0.0f);
        EXPECT_EQ(motion(my, 3, 3), 0.0f);
    }
}

// A textured A and B = A moved by (2, 1): with B as source and A as reference
// the true vectors (2, 1) survive and zero vectors are discarded; with the
// roles swapped, vectors (-2, -1) survive.
TYPED_TEST(DiscardWarpDepths, DiscardWorksWithEitherFrameAsSource) {
    using Pixel = typename TypeParam::Pixel;
    TestHost host(0);
    const Sarn_Rect rect{0, 24, 0, 16};
    Image a(0, 24, 0, 16, Pixel::bytes), b(0, 24, 0, 16, Pixel::bytes);
    // Texture levels 20 .. 219 on the 8-bit scale, carried to each depth.
    const auto texture = [](int32_t x, int32_t y, int c) {
        const float level = float(((x * 37 + y * 91 + c * 53) % 200 + 200) % 200 + 20);
        if constexpr (Pixel::isFloat)
            return level / 255.0f;
        else
            return Pixel::bytes == 4 ? level : level * 128.0f;
    };
    for (int32_t y = -4; y < 20; ++y)
        for (int32_t x = -4; x < 28; ++x)
            for (int c = 0; c < 4; ++c) {
                setChannel<Pixel>(a, x, y, c, texture(x, y, c));
                setChannel<Pixel>(b, x, y, c, texture(x - 2, y - 1, c));
            }
    const float threshold = Pixel::isFloat ? 0.05545936f : Pixel::bytes == 4 ? 14.142136f : 1817.2922f;
    for (const bool bIsSource : {true, false}) {
        for (const float sign : {1.0f, 0.0f}) {
            Image mx(0, 24, 0, 16, 4), my(0, 24, 0, 16, 4);
            const float ux = (bIsSource ? 2.0f : -2.0f) * sign, uy = (bIsSource ? 1.0f : -1.0f) * sign;
            for (int32_t y = 0; y < 16; ++y)
                for (int32_t x = 0; x < 24; ++x)
                    setMotion(mx, x, y, ux), setMotion(my, x, y, uy);
            const DiscardSetup w{rect, 1.0f, 1.0f, 0.0f, 0.0f, threshold};
            if (bIsSource)
                runDiscard<TypeParam>(host, b, a, mx, my, w);
            else
                runDiscard<TypeParam>(host, a, b, mx, my, w);
            int tested = 0, kept = 0;
            for (int32_t y = 4; y < 12; ++y)
                for (int32_t x = 4; x < 18; ++x) {
                    ++tested;
                    kept += motion(mx, x, y) == ux && motion(my, x, y) == uy;
                }
            EXPECT_EQ(kept, sign != 0.0f ? tested : 0) << "B source " << bIsSource << " true vectors " << sign;
        }
    }
}

} // namespace
