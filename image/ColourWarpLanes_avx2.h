// The AVX2 lane policy of the colour warp rows (ColourWarpRows.h): two pixels
// per vector, one per 128-bit lane. Included only by the _avx2 files.
#pragma once

#include "image/ColourWarpGroup.h"
#include "image/Sarn_Pixel.h"

#include <immintrin.h>

#include <cstdint>

namespace {

struct Avx2ColourWarpOps {
    using Vec = __m256;
    using Mask = __m256;
    static constexpr int pixels = 2;
    static Vec set1(float x) { return _mm256_set1_ps(x); }
    static Vec zero() { return _mm256_setzero_ps(); }
    static Vec min(Vec a, Vec b) { return _mm256_min_ps(a, b); }
    static Vec abs(Vec a) { return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF))); }
    static Vec select(Mask m, Vec ifTrue, Vec ifFalse) { return _mm256_blendv_ps(ifFalse, ifTrue, m); }
    // Clamp to [0, most] first (a NaN becomes 0), then round half up: equals
    // the scalar store.
    static __m256i rounded(Vec v, float most) {
        v = _mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), _mm256_set1_ps(most));
        return _mm256_cvttps_epi32(_mm256_add_ps(v, _mm256_set1_ps(0.5f)));
    }

    // Elements `first` and `first` + 1 of x, each in all four positions of its lane.
    static Vec perLane(__m128 x, int first) {
        const __m256i index = _mm256_setr_epi32(first, first, first, first, first + 1, first + 1, first + 1, first + 1);
        return _mm256_permutevar8x32_ps(_mm256_castps128_ps256(x), index);
    }
    static void spread(__m128 x, Vec v[2]) {
        v[0] = perLane(x, 0);
        v[1] = perLane(x, 2);
    }
    static void insides(const ColourWarpGroup& g, Mask m[2]) { spread(_mm_castsi128_ps(g.inside), m); }
    // Ordered comparisons: a NaN difference is no mismatch, as in the scalar kernel.
    static int outsideBits(Vec d, Vec lower, Vec upper) {
        return _mm256_movemask_ps(_mm256_or_ps(_mm256_cmp_ps(d, lower, _CMP_LT_OQ), _mm256_cmp_ps(d, upper, _CMP_GT_OQ)));
    }
    template <class Order>
    static Vec colourSum(Vec x) {
        Vec sum = _mm256_add_ps(_mm256_setzero_ps(), _mm256_permute_ps(x, Order::c1 * 0x55));
        sum = _mm256_add_ps(sum, _mm256_permute_ps(x, Order::c2 * 0x55));
        return _mm256_add_ps(sum, _mm256_permute_ps(x, Order::c3 * 0x55));
    }

    // Sixteen bytes from each of two places, the j-th into lane j.
    static __m256i blocks(const uint8_t* const at[2], int64_t offset) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[0] + offset));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[1] + offset));
        return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    }
};

template <class P>
struct Avx2ColourWarpLanes;

template <>
struct Avx2ColourWarpLanes<Sarn_Pixel8> : Avx2ColourWarpOps {
    using Pixel = Sarn_Pixel8;
    static Vec load(const uint8_t* p) {
        return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    static void window(const uint8_t* const at[2], int64_t offset, Vec q[4]) {
        const __m256i bytes = blocks(at, offset);
        for (int i = 0; i < 4; ++i) {
            // Byte 4i + c into the low byte of channel c; 0x80 clears the others.
            const int b = 4 * i;
            const __m128i pick =
                _mm_setr_epi32(int(0x80808000u | uint32_t(b)), int(0x80808000u | uint32_t(b + 1)),
                               int(0x80808000u | uint32_t(b + 2)), int(0x80808000u | uint32_t(b + 3)));
            q[i] = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(bytes, _mm256_broadcastsi128_si256(pick)));
        }
    }
    static void storeGroup(uint8_t* p, const Vec v[2]) {
        // The packs work per lane: words come out as pixels 0, 2 | 1, 3, bytes
        // as 0, 2, 0, 2 | 1, 3, 1, 3.
        const __m256i words = _mm256_packus_epi32(rounded(v[0], 255.0f), rounded(v[1], 255.0f));
        const __m256i bytes = _mm256_packus_epi16(words, words);
        const __m256i ordered = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(ordered));
    }
};

template <>
struct Avx2ColourWarpLanes<Sarn_Pixel16> : Avx2ColourWarpOps {
    using Pixel = Sarn_Pixel16;
    static Vec load(const uint8_t* p) {
        return _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    }
    static void window(const uint8_t* const at[2], int64_t offset, Vec q[4]) {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i left = blocks(at, offset), right = blocks(at, offset + 16);
        q[0] = _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(left, zero));
        q[1] = _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(left, zero));
        q[2] = _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(right, zero));
        q[3] = _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(right, zero));
    }
    // 0 .. 32768 passes the unsigned pack unchanged; its words come out as
    // pixels 0, 2 | 1, 3.
    static void storeGroup(uint8_t* p, const Vec v[2]) {
        const __m256i words = _mm256_packus_epi32(rounded(v[0], 32768.0f), rounded(v[1], 32768.0f));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_permute4x64_epi64(words, _MM_SHUFFLE(3, 1, 2, 0)));
    }
};

template <>
struct Avx2ColourWarpLanes<Sarn_PixelF> : Avx2ColourWarpOps {
    using Pixel = Sarn_PixelF;
    static Vec load(const uint8_t* p) { return _mm256_loadu_ps(reinterpret_cast<const float*>(p)); }
    static void window(const uint8_t* const at[2], int64_t offset, Vec q[4]) {
        for (int i = 0; i < 4; ++i)
            q[i] = _mm256_castsi256_ps(blocks(at, offset + 16 * i));
    }
    static void storeGroup(uint8_t* p, const Vec v[2]) {
        _mm256_storeu_ps(reinterpret_cast<float*>(p), v[0]);
        _mm256_storeu_ps(reinterpret_cast<float*>(p + 32), v[1]);
    }
};

} // namespace
