// The SSE2 lane policy of the colour warp rows (ColourWarpRows.h): one pixel
// per vector, its four channels in the vector's order. Included only by the
// _sse2 files.
#pragma once

#include "image/ColourWarpGroup.h"
#include "image/Sarn_Pixel.h"

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace {

// Clamp to [0, most] first (a NaN becomes 0), then round half up: equals the
// scalar store.
inline __m128i sse2RoundedChannels(__m128 v, float most) {
    v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(most));
    return _mm_cvttps_epi32(_mm_add_ps(v, _mm_set1_ps(0.5f)));
}

template <class Pixel>
struct Sse2PixelLanes;

template <>
struct Sse2PixelLanes<Sarn_Pixel8> {
    static __m128 one(const uint8_t* p) {
        int32_t bits;
        std::memcpy(&bits, p, 4);
        const __m128i zero = _mm_setzero_si128();
        return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bits), zero), zero));
    }
    static void four(const uint8_t* p, __m128 out[4]) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i low = _mm_unpacklo_epi8(bytes, zero), high = _mm_unpackhi_epi8(bytes, zero);
        out[0] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(low, zero));
        out[1] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(low, zero));
        out[2] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(high, zero));
        out[3] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(high, zero));
    }
    static void store(uint8_t* p, __m128 v) {
        const __m128i i = sse2RoundedChannels(v, 255.0f);
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(i, i), _mm_setzero_si128());
        const int32_t bits = _mm_cvtsi128_si32(packed);
        std::memcpy(p, &bits, 4);
    }
};

template <>
struct Sse2PixelLanes<Sarn_Pixel16> {
    static __m128 one(const uint8_t* p) {
        const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        return _mm_cvtepi32_ps(_mm_unpacklo_epi16(words, _mm_setzero_si128()));
    }
    static void four(const uint8_t* p, __m128 out[4]) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        out[0] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(a, zero));
        out[1] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(a, zero));
        out[2] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(b, zero));
        out[3] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(b, zero));
    }
    // 0 .. 32768 does not fit the signed pack: pack v - 32768 and flip the top bit.
    static void store(uint8_t* p, __m128 v) {
        const __m128i i = _mm_sub_epi32(sse2RoundedChannels(v, 32768.0f), _mm_set1_epi32(32768));
        const __m128i packed = _mm_xor_si128(_mm_packs_epi32(i, i), _mm_set1_epi16(int16_t(0x8000)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), packed);
    }
};

template <>
struct Sse2PixelLanes<Sarn_PixelF> {
    static __m128 one(const uint8_t* p) { return _mm_loadu_ps(reinterpret_cast<const float*>(p)); }
    static void four(const uint8_t* p, __m128 out[4]) {
        for (int k = 0; k < 4; ++k)
            out[k] = _mm_loadu_ps(reinterpret_cast<const float*>(p + 16 * k));
    }
    static void store(uint8_t* p, __m128 v) { _mm_storeu_ps(reinterpret_cast<float*>(p), v); }
};

struct Sse2ColourWarpOps {
    using Vec = __m128;
    using Mask = __m128;
    static constexpr int pixels = 1;
    static Vec set1(float x) { return _mm_set1_ps(x); }
    static Vec zero() { return _mm_setzero_ps(); }
    static Vec min(Vec a, Vec b) { return _mm_min_ps(a, b); }
    static Vec abs(Vec a) { return _mm_and_ps(a, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF))); }
    static Vec select(Mask m, Vec ifTrue, Vec ifFalse) {
        return _mm_or_ps(_mm_and_ps(m, ifTrue), _mm_andnot_ps(m, ifFalse));
    }

    // Element j of x in all four positions of vector j.
    static void spread(__m128 x, Vec v[4]) {
        v[0] = _mm_shuffle_ps(x, x, 0x00);
        v[1] = _mm_shuffle_ps(x, x, 0x55);
        v[2] = _mm_shuffle_ps(x, x, 0xAA);
        v[3] = _mm_shuffle_ps(x, x, 0xFF);
    }
    static void insides(const ColourWarpGroup& g, Mask m[4]) { spread(_mm_castsi128_ps(g.inside), m); }
    // Ordered comparisons: a NaN difference is no mismatch, as in the scalar kernel.
    static int outsideBits(Vec d, Vec lower, Vec upper) {
        return _mm_movemask_ps(_mm_or_ps(_mm_cmplt_ps(d, lower), _mm_cmpgt_ps(d, upper)));
    }
    template <class Order>
    static Vec colourSum(Vec x) {
        Vec sum = _mm_add_ps(_mm_setzero_ps(), _mm_shuffle_ps(x, x, Order::c1 * 0x55));
        sum = _mm_add_ps(sum, _mm_shuffle_ps(x, x, Order::c2 * 0x55));
        return _mm_add_ps(sum, _mm_shuffle_ps(x, x, Order::c3 * 0x55));
    }
};

template <class P>
struct Sse2ColourWarpLanes : Sse2ColourWarpOps {
    using Pixel = P;
    static Vec load(const uint8_t* p) { return Sse2PixelLanes<P>::one(p); }
    static void window(const uint8_t* const at[1], int64_t offset, Vec q[4]) { Sse2PixelLanes<P>::four(at[0] + offset, q); }
    static void storeGroup(uint8_t* p, const Vec v[4]) {
        for (int j = 0; j < 4; ++j)
            Sse2PixelLanes<P>::store(p + j * P::bytes, v[j]);
    }
};

} // namespace
