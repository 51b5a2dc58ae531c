#include "image/Sarn_ARWarp.h"
#include "image/Sarn_DiscardWarp.h"
#include "parallel/Sarn_Thread.h"
#include "tests/support/TierTest.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
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
// A motion plane is an image of one float channel.
float motion(Image& plane, int32_t x, int32_t y) { return channel<Sarn_LumF>(plane, x, y, 0); }
void setMotion(Image& plane, int32_t x, int32_t y, float v) { setChannel<Sarn_LumF>(plane, x, y, 0, v); }

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
// Every channel of the image, margins included, from `value()`.
template <class Pixel, class Value>
void fill(Image& image, Value value) {
    const int32_t columns = image.stride / image.bytes;
    const int32_t rows = int32_t(image.storage.size() / size_t(image.stride));
    for (int32_t y = image.y0; y < image.y0 + rows; ++y)
        for (int32_t x = image.x0; x < image.x0 + columns; ++x)
            for (int c = 0; c < 4; ++c)
                setChannel<Pixel>(image, x, y, c, value());
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

// Random images and vectors (in range, at the edges, far out, the invalid
// marker) against the plain computations, for several band counts, SIMD tiers
// and rectangles with negative origins, odd widths and rows beyond the field.
// The discard warp, which has no channel order, compares the source with the
// warp's destination under its own scales, offsets and threshold.
TYPED_TEST(ColourWarpInstances, WarpsMatchPlainComputation) {
    using Pixel = typename TypeParam::Pixel;
    using Order = typename TypeParam::Order;
    TestHost host(2);
    std::mt19937 rng(1234);
    struct Setup {
        WarpSetup warp;
        float scaleX, scaleY, offsetX, offsetY, threshold; // threshold in full scales
    };
    const Setup setups[] = {
        {{{-3, 20, 0, 9}, {-3, 20, -2, 18}, {-3, 20, -1, 9}, 1.0f}, 1.0f, 1.0f, 0.0f, 0.0f, 0.45f},
        // Rows 2 and 1 above the field.
        {{{0, 37, 2, 12}, {1, 35, 0, 25}, {0, 37, 0, 12}, 0.0f}, 0.5f, -1.5f, 0.25f, -0.75f, 0.3f},
        {{{0, 5, 0, 4}, {0, 5, 0, 8}, {0, 5, 0, 4}, 1.0f}, 1.0f, 1.0f, 0.0f, 0.0f, 0.45f},
    };
    for (const Setup& setup : setups) {
        const WarpSetup& w = setup.warp;
        const Sarn_Rect& b = w.rect;
        const DiscardSetup discard{b, setup.scaleX, setup.scaleY, setup.offsetX, setup.offsetY,
                                   setup.threshold * fullScaleOf<Pixel>()};
        Image f(b.x0, b.x1, w.fieldRect.y0, w.fieldRect.y1, Pixel::bytes);
        Image s(w.sourceRect.x0, w.sourceRect.x1, w.sourceRect.y0, w.sourceRect.y1, Pixel::bytes);
        Image d(b.x0, b.x1, b.y0, b.y1, Pixel::bytes);
        Image mx(b.x0, b.x1, b.y0, b.y1, 4), my(b.x0, b.x1, b.y0, b.y1, 4);
        for (Image* image : {&f, &s, &d})
            fill<Pixel>(*image, [&] { return randomChannel<Pixel>(rng); });
        std::uniform_real_distribution<float> dx(-4.0f, 4.0f), dy(-2.5f, 2.5f), kind(0.0f, 1.0f);
        for (int32_t y = b.y0; y < b.y1; ++y)
            for (int32_t x = b.x0; x < b.x1; ++x) {
                const float k = kind(rng);
                const bool invalid = k < 0.05f, far = k > 0.97f;
                setMotion(mx, x, y, invalid ? -1000000.0f : far ? 5000.0f : dx(rng));
                setMotion(my, x, y, invalid ? -1000000.0f : far ? -3.0e9f : dy(rng));
            }
        Image expected = d, expectedX = mx, expectedY = my;
        referenceARWarp<Pixel, Order>(f, s, expected, mx, my, w);
        referenceDiscard<Pixel>(s, d, expectedX, expectedY, discard);
        if (b.x1 - b.x0 > 10) { // the inputs make the discard warp discard
            EXPECT_NE(expectedX.storage, mx.storage);
        }
        for (SimdLevel level : runnableSimdTiers())
            for (int threads : {1, 2, 3, 7}) {
                const SimdLimitScope limit(level);
                const ThreadCountScope bands(threads);
                SCOPED_TRACE(testing::Message() << "threads " << threads << " level " << int(level)
                                                << " rect width " << b.x1 - b.x0);
                Image out = d, outX = mx, outY = my;
                runARWarp<TypeParam>(host, f, s, out, mx, my, w);
                runDiscard<TypeParam>(host, s, d, outX, outY, discard);
                EXPECT_TRUE(out.storage == expected.storage) << "warp";
                EXPECT_TRUE(outX.storage == expectedX.storage && outY.storage == expectedY.storage) << "discard";
            }
    }
}

// Values for the tier comparison: mostly in range, some that clamp or are not
// finite (16-bit channels above full scale, which the host never makes, must
// still load unsigned).
template <class Pixel>
float extremeChannel(std::mt19937& rng) {
    if (rng() % 7 != 0)
        return randomChannel<Pixel>(rng);
    const float inf = std::numeric_limits<float>::infinity();
    if constexpr (Pixel::isFloat) {
        const float values[] = {NAN, inf, -inf, -0.0f, 3.0e38f, -3.0e38f, 1.0e-40f};
        return values[rng() % 7];
    } else {
        const float values[] = {0.0f, Pixel::fullScale, Pixel::bytes == 8 ? 65535.0f : 1.0f};
        return values[rng() % 3];
    }
}

// Every SIMD tier against the scalar kernel through the jobs, widths 1 to 37
// at offsets that leave partial groups, on extreme values and vectors (NaN,
// infinite, huge, the invalid marker) and sample positions at every side of
// the source bounds; the images' margins catch writes outside the rectangle.
TYPED_TEST(ColourWarpInstances, EveryTierEqualsScalarOnExtremes) {
    using Pixel = typename TypeParam::Pixel;
    TestHost host(0);
    std::mt19937 rng(20261206);
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {NAN, inf, -inf, -1000000.0f, 3.0e9f, -3.0e9f, 1.5e30f, -0.0f, 1073741824.0f};
    int64_t changed = 0, total = 0;
    for (int32_t width = 1; width <= 37; ++width)
        for (int32_t x0 : {-5, 0, 3}) {
            const Sarn_Rect rect{x0, x0 + width, -1, 6};
            const WarpSetup w{{x0, x0 + width, 0, 6}, {x0 - 2, x0 + width + 3, -1, 13}, rect, float(width % 2)};
            // A whole-number threshold, which a difference at a whole-pixel
            // vector can equal.
            const float threshold = Pixel::isFloat ? 0.625f : std::round(0.45f * fullScaleOf<Pixel>());
            const DiscardSetup discard{rect, 1.0f, 1.0f, 0.0f, 0.0f, threshold};
            Image f(rect.x0, rect.x1, 0, 6, Pixel::bytes), d(rect.x0, rect.x1, rect.y0, rect.y1, Pixel::bytes);
            Image s(w.sourceRect.x0, w.sourceRect.x1, -1, 13, Pixel::bytes);
            Image mx(rect.x0, rect.x1, rect.y0, rect.y1, 4), my = mx;
            for (Image* image : {&f, &d, &s})
                fill<Pixel>(*image, [&] { return extremeChannel<Pixel>(rng); });
            std::uniform_real_distribution<float> dx(-4.0f, 4.0f), dy(-3.5f, 3.5f);
            for (int32_t y = rect.y0; y < rect.y1; ++y)
                for (int32_t x = rect.x0; x < rect.x1; ++x) {
                    const uint32_t kind = rng() % 8;
                    const float u = kind == 0 ? specials[rng() % 9] : dx(rng), v = kind == 1 ? specials[rng() % 9] : dy(rng);
                    setMotion(mx, x, y, kind == 2 ? std::round(u) : u);
                    setMotion(my, x, y, kind == 2 ? std::round(v) : v);
                }
            // The warped image and both discarded planes, NaNs made one.
            int run = 0;
            expectTiersMatchFirst(
                [&] {
                    Image out = d, outX = mx, outY = my;
                    runARWarp<TypeParam>(host, f, s, out, mx, my, w);
                    runDiscard<TypeParam>(host, s, d, outX, outY, discard);
                    changed += run++ == 0 && out.storage != d.storage;
                    if (Pixel::isFloat)
                        canonicalNaNs(out.storage);
                    canonicalNaNs(outX.storage);
                    canonicalNaNs(outY.storage);
                    std::vector<uint8_t> all = out.storage;
                    all.insert(all.end(), outX.storage.begin(), outX.storage.end());
                    all.insert(all.end(), outY.storage.begin(), outY.storage.end());
                    return all;
                },
                "width " + std::to_string(width) + " x0 " + std::to_string(x0));
            ++total;
        }
    EXPECT_GT(changed, total / 2);
}

} // namespace
