// The AVX-512 lane policy of the colour warp rows (ColourWarpRows.h): four
// pixels per vector, one per 128-bit lane. Included only by the _avx512 files.
#pragma once

#include "image/ColourWarpGroup.h"
#include "image/Sarn_Pixel.h"

// GCC 12's AVX-512 intrinsics leave the merge source of their unmasked forms
// undefined on purpose and then warn that it may be used uninitialized
// (GCC bug 105593); it never is. Inlined into the shared rows, the warning
// comes in both its forms.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>

#include <cstdint>

namespace {

struct Avx512ColourWarpOps {
    using Vec = __m512;
    using Mask = __mmask16;
    static constexpr int pixels = 4;
    static Vec set1(float x) { return _mm512_set1_ps(x); }
    static Vec zero() { return _mm512_setzero_ps(); }
    static Vec min(Vec a, Vec b) { return _mm512_min_ps(a, b); }
    static Vec abs(Vec a) { return _mm512_abs_ps(a); }
    static Vec select(Mask m, Vec ifTrue, Vec ifFalse) { return _mm512_mask_blend_ps(m, ifFalse, ifTrue); }
    // Clamp to [0, most] first (a NaN becomes 0), then round half up: equals
    // the scalar store.
    static __m512i rounded(Vec v, float most) {
        const Vec c = _mm512_min_ps(_mm512_max_ps(v, _mm512_setzero_ps()), _mm512_set1_ps(most));
        return _mm512_cvttps_epi32(_mm512_add_ps(c, _mm512_set1_ps(0.5f)));
    }

    // Element j of x in all four positions of lane j.
    static void spread(__m128 x, Vec v[1]) {
        const __m512i index = _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
        v[0] = _mm512_permutexvar_ps(index, _mm512_castps128_ps512(x));
    }
    // Bit j of the group's pixel mask widened to the four channel bits of lane j.
    static void insides(const ColourWarpGroup& g, Mask m[1]) {
        Mask lanes = 0;
        for (int j = 0; j < 4; ++j)
            if (g.pixels & (1 << j))
                lanes = Mask(lanes | (0xF << (4 * j)));
        m[0] = lanes;
    }
    // Ordered comparisons: a NaN difference is no mismatch, as in the scalar kernel.
    static int outsideBits(Vec d, Vec lower, Vec upper) {
        return int(_mm512_cmp_ps_mask(d, lower, _CMP_LT_OQ) | _mm512_cmp_ps_mask(d, upper, _CMP_GT_OQ));
    }
    template <class Order>
    static Vec colourSum(Vec x) {
        Vec sum = _mm512_add_ps(_mm512_setzero_ps(), _mm512_permute_ps(x, Order::c1 * 0x55));
        sum = _mm512_add_ps(sum, _mm512_permute_ps(x, Order::c2 * 0x55));
        return _mm512_add_ps(sum, _mm512_permute_ps(x, Order::c3 * 0x55));
    }

    // Sixteen bytes from each of four places, the j-th into lane j.
    static __m512i blocks(const uint8_t* const at[4], int64_t offset) {
        const auto load = [&](int j) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[j] + offset)); };
        __m512i v = _mm512_castsi128_si512(load(0));
        v = _mm512_inserti32x4(v, load(1), 1);
        v = _mm512_inserti32x4(v, load(2), 2);
        return _mm512_inserti32x4(v, load(3), 3);
    }
};

template <class P>
struct Avx512ColourWarpLanes;

template <>
struct Avx512ColourWarpLanes<Sarn_Pixel8> : Avx512ColourWarpOps {
    using Pixel = Sarn_Pixel8;
    static Vec load(const uint8_t* p) {
        return _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    }
    static void window(const uint8_t* const at[4], int64_t offset, Vec q[4]) {
        const __m512i bytes = blocks(at, offset);
        for (int i = 0; i < 4; ++i) {
            // Byte 4i + c into the low byte of channel c; 0x80 clears the others.
            const int b = 4 * i;
            const __m512i pick = _mm512_broadcast_i32x4(
                _mm_setr_epi32(int(0x80808000u | uint32_t(b)), int(0x80808000u | uint32_t(b + 1)),
                               int(0x80808000u | uint32_t(b + 2)), int(0x80808000u | uint32_t(b + 3))));
            q[i] = _mm512_cvtepi32_ps(_mm512_shuffle_epi8(bytes, pick));
        }
    }
    static void storeGroup(uint8_t* p, const Vec v[1]) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm512_cvtepi32_epi8(rounded(v[0], 255.0f)));
    }
};

template <>
struct Avx512ColourWarpLanes<Sarn_Pixel16> : Avx512ColourWarpOps {
    using Pixel = Sarn_Pixel16;
    static Vec load(const uint8_t* p) {
        return _mm512_cvtepi32_ps(_mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))));
    }
    static void window(const uint8_t* const at[4], int64_t offset, Vec q[4]) {
        const __m512i zero = _mm512_setzero_si512();
        const __m512i left = blocks(at, offset), right = blocks(at, offset + 16);
        q[0] = _mm512_cvtepi32_ps(_mm512_unpacklo_epi16(left, zero));
        q[1] = _mm512_cvtepi32_ps(_mm512_unpackhi_epi16(left, zero));
        q[2] = _mm512_cvtepi32_ps(_mm512_unpacklo_epi16(right, zero));
        q[3] = _mm512_cvtepi32_ps(_mm512_unpackhi_epi16(right, zero));
    }
    // 0 .. 32768 after the clamp fits an unsigned 16-bit word as it is.
    static void storeGroup(uint8_t* p, const Vec v[1]) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_cvtepi32_epi16(rounded(v[0], 32768.0f)));
    }
};

template <>
struct Avx512ColourWarpLanes<Sarn_PixelF> : Avx512ColourWarpOps {
    using Pixel = Sarn_PixelF;
    static Vec load(const uint8_t* p) { return _mm512_loadu_ps(reinterpret_cast<const float*>(p)); }
    // Each pixel's four source pixels in one vector, then a 4 x 4 transpose
    // of 128-bit blocks.
    static void window(const uint8_t* const at[4], int64_t offset, Vec q[4]) {
        Vec a[4];
        for (int j = 0; j < 4; ++j)
            a[j] = _mm512_loadu_ps(reinterpret_cast<const float*>(at[j] + offset));
        const Vec t0 = _mm512_shuffle_f32x4(a[0], a[1], _MM_SHUFFLE(1, 0, 1, 0));
        const Vec t1 = _mm512_shuffle_f32x4(a[0], a[1], _MM_SHUFFLE(3, 2, 3, 2));
        const Vec t2 = _mm512_shuffle_f32x4(a[2], a[3], _MM_SHUFFLE(1, 0, 1, 0));
        const Vec t3 = _mm512_shuffle_f32x4(a[2], a[3], _MM_SHUFFLE(3, 2, 3, 2));
        q[0] = _mm512_shuffle_f32x4(t0, t2, _MM_SHUFFLE(2, 0, 2, 0));
        q[1] = _mm512_shuffle_f32x4(t0, t2, _MM_SHUFFLE(3, 1, 3, 1));
        q[2] = _mm512_shuffle_f32x4(t1, t3, _MM_SHUFFLE(2, 0, 2, 0));
        q[3] = _mm512_shuffle_f32x4(t1, t3, _MM_SHUFFLE(3, 1, 3, 1));
    }
    static void storeGroup(uint8_t* p, const Vec v[1]) { _mm512_storeu_ps(reinterpret_cast<float*>(p), v[0]); }
};

} // namespace
