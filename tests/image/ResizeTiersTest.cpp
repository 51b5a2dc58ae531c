// Every vector tier of the resize gives the scalar result bit for bit, for
// every view pairing the motion analysis uses, shrinking and enlarging.
#include "image/Sarn_Resize.h"
#include "tests/support/TierTest.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

// The tiers with a vector version of the resize.
std::vector<SimdLevel> vectorTiers() {
    std::vector<SimdLevel> tiers = runnableSimdTiers();
    std::erase_if(tiers, [](SimdLevel level) { return Sarn_ResizeLanes::lanesAt(level) == 0; });
    return tiers;
}

enum class Values { Integer8, Integer16, Float };

// Float sources may hold a few infinities and NaNs. Every NaN the processor
// makes (inf - inf, 0 * inf) is the default NaN 0xFFC00000; with only that NaN
// in the source every output has exact bits. Where two different NaNs meet in
// one addition, which one survives depends on the operand order the compiler
// chose, which the scalar code does not fix either (its unrolled and plain tap
// loops use opposite orders): those runs compare NaNs as NaN.
enum class Specials { None, DefaultNaN, AnyNaN };

float defaultNaN() {
    const uint32_t bits = 0xFFC00000u;
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

// Source values by sample type: integers with many 0 and full-scale samples;
// floats with huge magnitudes, signed zeros, denormals and the specials.
void fillSource(std::vector<uint8_t>& bytes, int elementBytes, Values values, Specials specials, std::mt19937& rng) {
    std::uniform_int_distribution<int> pick(0, 99);
    const int count = int(bytes.size()) / elementBytes;
    for (int e = 0; e < count; ++e) {
        uint8_t* element = bytes.data() + size_t(e) * size_t(elementBytes);
        const int p = pick(rng);
        if (values == Values::Integer8) {
            element[0] = uint8_t(p < 15 ? 0 : p < 30 ? 255 : rng() % 256);
        } else if (values == Values::Integer16) {
            const uint16_t v = uint16_t(p < 15 ? 0 : p < 30 ? 32768 : rng() % 32769);
            std::memcpy(element, &v, 2);
        } else {
            float v = std::uniform_real_distribution<float>(-300.0f, 300.0f)(rng);
            if (p < 5)
                v = -0.0f;
            else if (p < 10)
                v = 0.0f;
            else if (p < 13)
                v = (p % 2 ? 1.0f : -1.0f) * std::numeric_limits<float>::max();
            else if (p < 16)
                v = (p % 2 ? 3e37f : -3e37f);
            else if (p < 18)
                v = std::numeric_limits<float>::denorm_min();
            else if (specials != Specials::None && p < 19)
                v = (rng() % 2 ? 1.0f : -1.0f) * std::numeric_limits<float>::infinity();
            else if (specials != Specials::None && p < 20)
                v = specials == Specials::AnyNaN && rng() % 2 ? std::numeric_limits<float>::quiet_NaN()
                                                               : defaultNaN();
            std::memcpy(element, &v, 4);
        }
    }
}

struct Case {
    int sw, sh, dw, dh;
    float scale;
};

// One resize instance run at the scalar tier and at every vector tier into
// destinations prefilled with the same bytes; whole buffers, padding bytes of
// each row and the 36-byte elements' other floats included, must be equal.
template <class Resize>
struct Instance {
    const char* name;
    int srcBytes; // element size
    int dstBytes;
    Values values;
    int component; // float index inside a 36-byte element

    // Returns the number of runs compared that used a vector pass.
    int check(TestHost& host, const Case& c, Specials specials, unsigned seed) const {
        std::mt19937 rng(seed);
        // Rows one element longer than needed so that a write past the row shows.
        const int srcStride = (c.sw + 1) * srcBytes;
        const int dstStride = (c.dw + 1) * dstBytes;
        std::vector<uint8_t> src(size_t(srcStride) * size_t(c.sh));
        fillSource(src, srcBytes, values, specials, rng);
        std::vector<uint8_t> dstInit(size_t(dstStride) * size_t(c.dh));
        for (uint8_t& b : dstInit)
            b = uint8_t(rng());
        std::vector<SimdLevel> tiers = vectorTiers();
        tiers.insert(tiers.begin(), SimdLevel::Scalar);
        size_t tier = 0;
        int compared = 0;
        expectTiersMatchFirst(
            [&] {
                const SimdLevel level = tiers[tier++];
                std::vector<uint8_t> dst = dstInit;
                const int srcOffset = srcBytes == 36 ? component * 4 : 0;
                const int dstOffset = dstBytes == 36 ? component * 4 : 0;
                Resize resize(host.inData(), src.data() + srcOffset, dst.data() + dstOffset, c.sw, c.sh, c.dw,
                              c.dh, srcStride, dstStride, c.scale, 1.0f);
                const int lanes = resize.horizontalLanes();
                resize.run();
                // No vector pass when every column's first tap is left of the
                // source (tiny destinations): those columns stay scalar.
                if (level == SimdLevel::Scalar || lanes != 0) {
                    EXPECT_EQ(lanes, Sarn_ResizeLanes::lanesAt(level)) << name;
                }
                compared += level != SimdLevel::Scalar && lanes != 0;
                if (specials == Specials::AnyNaN)
                    canonicalNaNs(dst);
                return dst;
            },
            std::string(name) + " " + std::to_string(c.sw) + "x" + std::to_string(c.sh) + " -> " +
                std::to_string(c.dw) + "x" + std::to_string(c.dh) + " scale " + std::to_string(c.scale) +
                " specials " + std::to_string(int(specials)),
            tiers);
        return compared;
    }
};

template <class F>
void forEachInstance(F f) {
    using MotionToPlane =
        Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_MotionOne>, Sarn_Resize_Funcs, Sarn_PixelPtr<Sarn_LumF>>;
    using PlaneToMotion =
        Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>, Sarn_Resize_Funcs, Sarn_PixelPtr<Sarn_MotionOne>>;
    f(Instance<Sarn_Resize8>{"8-bit", 1, 1, Values::Integer8, 0}, false);
    f(Instance<Sarn_Resize16>{"16-bit", 2, 2, Values::Integer16, 0}, false);
    f(Instance<Sarn_ResizeF>{"float", 4, 4, Values::Float, 0}, true);
    f(Instance<Sarn_ResizeMotion>{"motion", 36, 36, Values::Float, 1}, true);
    f(Instance<MotionToPlane>{"motion to plane", 36, 4, Values::Float, 0}, true);
    f(Instance<PlaneToMotion>{"plane to motion", 4, 36, Values::Float, 3}, true);
}

} // namespace

// Widths 2..40 in every pairing (steps from 1/39 to 39: one vector window,
// two, and gathers) with odd heights and lengths that leave partial vectors,
// heights 2..40 both ways at a few widths, then the pyramid's own sizes (field
// width halved and doubled, odd widths) split into bands.
TEST(SarnResizeTiers, EverySizeMatchesScalarBitForBit) {
    if (vectorTiers().empty())
        GTEST_SKIP() << "no vector tier on this processor";
    TestHost host(2);
    int compared = 0;
    forEachInstance([&](const auto& instance, bool floatValues) {
        const ThreadCountScope bands(1);
        // Specials by case: none, or the default NaN only, or any NaN.
        const auto specials = [&](int k) { return floatValues ? Specials(k % 3) : Specials::None; };
        for (int sw = 2; sw <= 40; ++sw)
            for (int dw = 2; dw <= 40; ++dw) {
                const int sh = 2 + (sw * 7 + dw * 3) % 39;
                const int dh = 2 + (sw * 5 + dw * 11) % 39;
                const float scale = (sw + dw) % 3 == 0 ? 0.5f : (sw + dw) % 3 == 1 ? 1.0f : 2.0f;
                compared +=
                    instance.check(host, Case{sw, sh, dw, dh, scale}, specials(sw + dw), unsigned(sw * 64 + dw));
            }
        for (int sh = 2; sh <= 40; ++sh)
            for (int dh : {2, 3, 17, 40}) {
                const int w = 9 + sh % 5 * 8;
                compared += instance.check(host, Case{w, sh, w / 2 + 1, dh, 1.0f}, specials(1), unsigned(sh));
                compared += instance.check(host, Case{w, dh, w * 2 - 1, sh, 2.0f}, specials(1), unsigned(sh + 99));
            }
    });
    const Case pyramid[] = {{1920, 6, 960, 3, 1.0f},  {960, 3, 1920, 6, 2.0f},  {1919, 5, 959, 3, 0.5f},
                            {959, 3, 1919, 5, 2.0f},  {121, 9, 61, 5, 1.0f},    {61, 5, 121, 9, 2.0f},
                            {300, 4, 1000, 4, 1.0f},  {1000, 4, 37, 4, 1.0f},   {2001, 3, 1000, 3, 1.0f}};
    for (int n : {1, 2, 3}) {
        const ThreadCountScope bands(n);
        forEachInstance([&](const auto& instance, bool floatValues) {
            for (const Case& c : pyramid)
                for (Specials specials : {Specials::None, Specials::DefaultNaN, Specials::AnyNaN})
                    if (floatValues || specials == Specials::None)
                        compared += instance.check(host, c, specials, unsigned(c.sw + n));
        });
    }
    EXPECT_GT(compared, 0);
    EXPECT_EQ(host.liveHandles(), 0);
}
