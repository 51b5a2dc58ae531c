// Every vector row kernel of the colour warps against the scalar one, row by
// row, over random and extreme inputs: pixel values that clamp or are not
// finite, sample positions at every side of the source bounds with fractions
// of 0 and just below 1, motion that is NaN, infinite or huge, and widths and
// offsets that leave partial groups. The read-only rows are allocated to
// their exact size so that the sanitizer build catches any read beyond them;
// the destination has guard bytes on both sides.
#include "image/Sarn_ARWarp.h"
#include "image/Sarn_DiscardWarp.h"
#include "parallel/ProcessorFeatures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

template <class Pixel>
float randomValue(std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const bool special = unit(rng) < 0.15f;
    if constexpr (Pixel::isFloat) {
        if (!special)
            return std::uniform_real_distribution<float>(-0.25f, 1.25f)(rng);
        const float inf = std::numeric_limits<float>::infinity();
        const float values[] = {std::numeric_limits<float>::quiet_NaN(), inf, -inf, -0.0f, 0.0f, 3.0e38f,
                                -3.0e38f, 1.0e-40f, 1.0f};
        return values[std::uniform_int_distribution<int>(0, 8)(rng)];
    } else {
        if (!special)
            return float(std::uniform_int_distribution<int>(0, int(Pixel::fullScale))(rng));
        // 16-bit channels above full scale are not produced by the host but
        // must still load unsigned.
        const float values[] = {0.0f, Pixel::fullScale, Pixel::bytes == 8 ? 65535.0f : 1.0f,
                                Pixel::bytes == 8 ? 32767.0f : 254.0f};
        return values[std::uniform_int_distribution<int>(0, 3)(rng)];
    }
}

template <class Pixel>
void fillRandom(std::vector<uint8_t>& bytes, std::mt19937& rng) {
    using Type = typename Pixel::Type;
    for (size_t at = 0; at + sizeof(Type) <= bytes.size(); at += sizeof(Type)) {
        const Type v = Type(randomValue<Pixel>(rng));
        std::memcpy(bytes.data() + at, &v, sizeof(Type));
    }
}

// A coordinate near [low, high]: an integer in that range plus a fraction of
// 0, just above 0, one half, random, or the float just below 1.
float positionNear(int32_t low, int32_t high, std::mt19937& rng) {
    const float fractions[] = {0.0f, 1.0e-7f, 0.5f, std::uniform_real_distribution<float>(0.0f, 1.0f)(rng),
                               0.99999994f};
    return float(std::uniform_int_distribution<int32_t>(low, high)(rng)) +
           fractions[std::uniform_int_distribution<int>(0, 4)(rng)];
}

float specialMotion(std::mt19937& rng) {
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {std::numeric_limits<float>::quiet_NaN(), inf, -inf, -1000000.0f, 3.0e9f, -3.0e9f,
                            1.5e30f, -0.0f, 1073741824.0f, -1073741824.0f};
    return values[std::uniform_int_distribution<int>(0, 9)(rng)];
}

// Floats compare by their bits, except that any NaN equals any NaN: which NaN
// payload an operation passes on depends on the operand order the compiler
// chose, not on the kernel.
template <class Pixel>
bool sameChannel(const uint8_t* a, const uint8_t* b) {
    if constexpr (Pixel::isFloat) {
        float x, y;
        std::memcpy(&x, a, 4);
        std::memcpy(&y, b, 4);
        if (std::isnan(x) || std::isnan(y))
            return std::isnan(x) && std::isnan(y);
    }
    return std::memcmp(a, b, sizeof(typename Pixel::Type)) == 0;
}

template <class PixelT, class OrderT>
struct Instance {
    using Pixel = PixelT;
    using Order = OrderT;
};

template <class Inst>
class ColourWarpSimd : public ::testing::Test {};
using AllInstances =
    ::testing::Types<Instance<Sarn_Pixel8, Sarn_OrderARGB>, Instance<Sarn_Pixel16, Sarn_OrderARGB>,
                     Instance<Sarn_PixelF, Sarn_OrderARGB>, Instance<Sarn_Pixel8, Sarn_OrderRGBA>,
                     Instance<Sarn_Pixel16, Sarn_OrderRGBA>, Instance<Sarn_PixelF, Sarn_OrderRGBA>>;
TYPED_TEST_SUITE(ColourWarpSimd, AllInstances);

struct Tier {
    const char* name;
    SimdLevel level;
    void (*kernel)(const Sarn_ARWarpRow&);
};

TYPED_TEST(ColourWarpSimd, EveryTierEqualsScalarKernel) {
    using Pixel = typename TypeParam::Pixel;
    using Order = typename TypeParam::Order;
    constexpr int64_t bytes = Pixel::bytes;
    const Tier tiers[] = {
        {"SSE2", SimdLevel::SSE2, Sarn_ARWarpRow_sse2<Pixel, Order>},
        {"AVX2", SimdLevel::AVX2, Sarn_ARWarpRow_avx2<Pixel, Order>},
        {"AVX-512", SimdLevel::AVX512, Sarn_ARWarpRow_avx512<Pixel, Order>},
    };
    // A wide source, one narrower than the kernel's neighbourhood at its
    // edges, and one whose rows start far from column 0.
    const Sarn_Rect sourceRects[] = {{-6, 40, -4, 16}, {2, 9, 0, 9}, {30, 70, 3, 11}};
    std::mt19937 rng(20261206);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int64_t inside = 0, total = 0, mixedGroups = 0;
    for (const Sarn_Rect& sr : sourceRects) {
        const int64_t sourceStride = (sr.x1 - sr.x0) * bytes;
        std::vector<uint8_t> source(size_t(sourceStride * (sr.y1 - sr.y0)));
        fillRandom<Pixel>(source, rng);
        for (int32_t width = 1; width <= 37; ++width) {
            for (int32_t x0 : {-5, 0, 1, 3, 34}) {
                const int32_t x1 = x0 + width;
                const int64_t rowBytes = width * bytes, guard = 64;
                std::vector<uint8_t> upper(static_cast<size_t>(rowBytes)), lower(upper.size());
                std::vector<uint8_t> destination(static_cast<size_t>(rowBytes + 2 * guard));
                std::vector<float> dx(static_cast<size_t>(width)), dy(dx.size());
                fillRandom<Pixel>(upper, rng);
                fillRandom<Pixel>(lower, rng);
                fillRandom<Pixel>(destination, rng);
                Sarn_ARWarpRow row{};
                row.y = std::uniform_int_distribution<int32_t>(sr.y0 / 2 - 3, sr.y1 / 2 + 2)(rng);
                row.lineOffset = unit(rng) < 0.5f ? 1.0f : 0.0f;
                int groupInside[64] = {};
                for (int32_t x = x0; x < x1; ++x) {
                    const size_t i = size_t(x - x0);
                    const float kind = unit(rng);
                    if (kind < 0.12f) {
                        dx[i] = specialMotion(rng);
                        dy[i] = unit(rng) < 0.5f ? specialMotion(rng) : 0.25f;
                    } else if (kind < 0.2f) {
                        dx[i] = 0.5f;
                        dy[i] = specialMotion(rng);
                    } else {
                        const float sx = positionNear(sr.x0 - 2, sr.x1 + 1, rng);
                        const float sy = positionNear(sr.y0 - 1, sr.y1 + 1, rng);
                        dx[i] = sx - float(x);
                        dy[i] = (sy - row.lineOffset) * 0.5f - float(row.y);
                    }
                    // Whether the pixel is warped, worked out independently.
                    const double px = double(float(x) + dx[i]);
                    const double py = double(2.0f * (float(row.y) + dy[i]) + row.lineOffset);
                    const bool in = std::isfinite(px) && std::isfinite(py) && std::floor(px) > sr.x0 &&
                                    std::floor(px) < sr.x1 - 2 && std::floor(py) >= sr.y0 + 2 &&
                                    std::floor(py) < sr.y1 - 3;
                    inside += in;
                    ++total;
                    groupInside[i / 4] += in;
                }
                for (int32_t g = 0; g < width / 4; ++g)
                    mixedGroups += groupInside[g] > 0 && groupInside[g] < 4;

                row.upper = upper.data() - x0 * bytes;
                row.lower = lower.data() - x0 * bytes;
                row.source = source.data() - int64_t(sr.y0) * sourceStride - sr.x0 * bytes;
                row.sourceStride = int32_t(sourceStride);
                row.sourceRect = sr;
                row.dx = reinterpret_cast<const uint8_t*>(dx.data()) - x0 * 4;
                row.dy = reinterpret_cast<const uint8_t*>(dy.data()) - x0 * 4;
                row.x0 = x0;
                row.x1 = x1;

                std::vector<uint8_t> expected = destination;
                row.destination = expected.data() + guard - x0 * bytes;
                Sarn_ARWarpRow_scalar<Pixel, Order>(row);
                for (const Tier& tier : tiers) {
                    if (detectedSimdLevel() < tier.level)
                        continue;
                    std::vector<uint8_t> actual = destination;
                    row.destination = actual.data() + guard - x0 * bytes;
                    tier.kernel(row);
                    const std::string where = std::string(tier.name) + " width " + std::to_string(width) +
                                              " x0 " + std::to_string(x0) + " source x0 " + std::to_string(sr.x0);
                    ASSERT_TRUE(std::memcmp(actual.data(), expected.data(), size_t(guard)) == 0 &&
                                std::memcmp(actual.data() + guard + rowBytes, expected.data() + guard + rowBytes,
                                            size_t(guard)) == 0)
                        << "guard bytes changed, " << where;
                    constexpr int64_t channelBytes = sizeof(typename Pixel::Type);
                    for (int64_t at = guard; at < guard + rowBytes; at += channelBytes)
                        ASSERT_TRUE(sameChannel<Pixel>(actual.data() + at, expected.data() + at))
                            << where << " column " << x0 + (at - guard) / bytes << " channel "
                            << (at - guard) % bytes / channelBytes;
                }
            }
        }
    }
    // The inputs reach both outcomes, and groups of four that mix them.
    EXPECT_GT(inside, total / 5);
    EXPECT_LT(inside, total * 4 / 5);
    EXPECT_GT(mixedGroups, 100);
}

template <class Pixel>
class DiscardWarpSimd : public ::testing::Test {};
using Depths = ::testing::Types<Sarn_Pixel8, Sarn_Pixel16, Sarn_PixelF>;
TYPED_TEST_SUITE(DiscardWarpSimd, Depths);

struct DiscardTier {
    const char* name;
    SimdLevel level;
    void (*kernel)(const Sarn_DiscardWarpRow&);
};

// The rectangle bounds both the columns tested and the neighbourhoods read;
// the marker is written where any channel differs by more than the
// threshold, so thresholds around half the full scale give both outcomes.
TYPED_TEST(DiscardWarpSimd, EveryTierEqualsScalarKernel) {
    using Pixel = TypeParam;
    constexpr int64_t bytes = Pixel::bytes;
    const DiscardTier tiers[] = {
        {"SSE2", SimdLevel::SSE2, Sarn_DiscardWarpRow_sse2<Pixel>},
        {"AVX2", SimdLevel::AVX2, Sarn_DiscardWarpRow_avx2<Pixel>},
        {"AVX-512", SimdLevel::AVX512, Sarn_DiscardWarpRow_avx512<Pixel>},
    };
    float full = 1.0f;
    if constexpr (!Pixel::isFloat)
        full = Pixel::fullScale;
    std::mt19937 rng(7061226);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int64_t marked = 0, total = 0;
    for (int32_t width = 1; width <= 37; ++width) {
        for (int32_t x0 : {-5, 0, 1, 3, 34}) {
            const Sarn_Rect rect{x0, x0 + width, -2, 9};
            const int64_t rowBytes = width * bytes;
            std::vector<uint8_t> source(static_cast<size_t>(rowBytes * (rect.y1 - rect.y0)));
            std::vector<uint8_t> reference(static_cast<size_t>(rowBytes));
            std::vector<float> dx(static_cast<size_t>(width)), dy(dx.size());
            fillRandom<Pixel>(source, rng);
            fillRandom<Pixel>(reference, rng);
            Sarn_DiscardWarpRow row{};
            row.y = std::uniform_int_distribution<int32_t>(rect.y0, rect.y1 - 1)(rng);
            const bool unitScales = unit(rng) < 0.5f;
            row.scaleX = unitScales ? 1.0f : 0.75f;
            row.scaleY = unitScales ? 1.0f : -1.25f;
            row.offsetX = unitScales ? 0.0f : 0.5f;
            row.offsetY = unitScales ? 0.0f : -0.25f;
            // Whole numbers, so that a difference can equal the threshold.
            row.threshold = Pixel::isFloat ? 0.625f : std::round(full * (0.2f + 0.25f * unit(rng)));
            for (int32_t x = rect.x0; x < rect.x1; ++x) {
                const size_t i = size_t(x - rect.x0);
                const float kind = unit(rng);
                if (kind < 0.3f && unitScales && width >= 4) {
                    // Exactly onto a source pixel whose one channel R matches
                    // but for exactly the threshold: kept.
                    const int32_t ix = std::uniform_int_distribution<int32_t>(rect.x0 + 1, rect.x1 - 3)(rng);
                    const int32_t iy = std::uniform_int_distribution<int32_t>(rect.y0 + 1, rect.y1 - 3)(rng);
                    dx[i] = float(ix - x);
                    dy[i] = float(iy - row.y);
                    using Type = typename Pixel::Type;
                    Type channels[4];
                    std::memcpy(channels, &source[size_t((iy - rect.y0) * rowBytes + (ix - rect.x0) * bytes)], bytes);
                    const int c = std::uniform_int_distribution<int>(0, 3)(rng);
                    const float value = float(channels[c]);
                    channels[c] = Type(value >= row.threshold ? value - row.threshold : value + row.threshold);
                    std::memcpy(&reference[i * bytes], channels, bytes);
                } else if (kind < 0.45f) {
                    dx[i] = specialMotion(rng);
                    dy[i] = unit(rng) < 0.5f ? specialMotion(rng) : 0.5f;
                } else {
                    // Solved for the position through the row's scales and offsets.
                    const float sx = positionNear(rect.x0 - 1, rect.x1, rng);
                    const float sy = positionNear(rect.y0 - 1, rect.y1, rng);
                    dx[i] = (sx - float(x) - row.offsetX) / row.scaleX;
                    dy[i] = (sy - float(row.y) - row.offsetY) / row.scaleY;
                }
            }
            row.source = source.data() - int64_t(rect.y0) * rowBytes - rect.x0 * bytes;
            row.sourceStride = int32_t(rowBytes);
            row.reference = reference.data() - rect.x0 * bytes;
            row.rect = rect;

            std::vector<float> expectedX = dx, expectedY = dy;
            row.dx = reinterpret_cast<uint8_t*>(expectedX.data()) - x0 * 4;
            row.dy = reinterpret_cast<uint8_t*>(expectedY.data()) - x0 * 4;
            Sarn_DiscardWarpRow_scalar<Pixel>(row);
            for (size_t i = 0; i < dx.size(); ++i) {
                marked += expectedX[i] == Sarn_InvalidMotion && dx[i] != Sarn_InvalidMotion;
                ++total;
            }
            for (const DiscardTier& tier : tiers) {
                if (detectedSimdLevel() < tier.level)
                    continue;
                std::vector<float> actualX = dx, actualY = dy;
                row.dx = reinterpret_cast<uint8_t*>(actualX.data()) - x0 * 4;
                row.dy = reinterpret_cast<uint8_t*>(actualY.data()) - x0 * 4;
                tier.kernel(row);
                ASSERT_TRUE(std::memcmp(actualX.data(), expectedX.data(), dx.size() * 4) == 0 &&
                            std::memcmp(actualY.data(), expectedY.data(), dy.size() * 4) == 0)
                    << tier.name << " width " << width << " x0 " << x0;
            }
        }
    }
    EXPECT_GT(marked, total / 10);
    EXPECT_LT(marked, total / 2);
}

} // namespace
