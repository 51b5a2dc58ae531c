// AVX-512 row kernels of the colour warps: four destination pixels per vector,
// one pixel per 128-bit lane with its four channels in the lane's order, as
// in the SSE2 kernel. Every lane performs the scalar kernel's operations in
// the same order (the channel sums too, within the lane), so the results are
// bit-identical.
#include "image/ColourWarpGroup.h"
#include "image/Sarn_ARWarp.h"
#include "image/Sarn_DiscardWarp.h"

// GCC 12's AVX-512 intrinsics leave the merge source of their unmasked forms
// undefined on purpose and then warn that it may be used uninitialized
// (GCC bug 105593); it never is.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

namespace {

inline __m512 cubic(__m512 p0, __m512 p1, __m512 p2, __m512 p3, __m512 t) {
    const __m512 two = _mm512_set1_ps(2.0f), three = _mm512_set1_ps(3.0f), four = _mm512_set1_ps(4.0f);
    const __m512 five = _mm512_set1_ps(5.0f), half = _mm512_set1_ps(0.5f);
    __m512 inner = _mm512_sub_ps(
        _mm512_add_ps(_mm512_sub_ps(_mm512_mul_ps(two, p0), _mm512_mul_ps(five, p1)), _mm512_mul_ps(four, p2)), p3);
    const __m512 cubicTerm = _mm512_sub_ps(_mm512_add_ps(_mm512_mul_ps(three, _mm512_sub_ps(p1, p2)), p3), p0);
    inner = _mm512_mul_ps(_mm512_add_ps(inner, _mm512_mul_ps(cubicTerm, t)), t);
    const __m512 outer = _mm512_mul_ps(_mm512_add_ps(_mm512_sub_ps(p2, p0), inner), t);
    return _mm512_mul_ps(half, _mm512_add_ps(_mm512_mul_ps(two, p1), outer));
}

// Sixteen bytes from each of four places, the j-th into lane j.
inline __m512i blocks(const uint8_t* const at[4], int64_t offset) {
    const auto load = [&](int j) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[j] + offset)); };
    __m512i v = _mm512_castsi128_si512(load(0));
    v = _mm512_inserti32x4(v, load(1), 1);
    v = _mm512_inserti32x4(v, load(2), 2);
    return _mm512_inserti32x4(v, load(3), 3);
}

// Element 4j of x in all four positions of lane j.
inline __m512 perLane(__m128 x) {
    const __m512i index = _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
    return _mm512_permutexvar_ps(index, _mm512_castps128_ps512(x));
}

// Bit j of a four-bit pixel mask widened to the four channel bits of lane j.
constexpr __mmask16 laneMask(int pixels) {
    __mmask16 m = 0;
    for (int j = 0; j < 4; ++j)
        if (pixels & (1 << j))
            m = __mmask16(m | (0xF << (4 * j)));
    return m;
}

template <class Pixel>
struct Lanes;

template <>
struct Lanes<Sarn_Pixel8> {
    // Four consecutive pixels, pixel j in lane j.
    static __m512 group(const uint8_t* p) {
        return _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    }
    // Columns ix - 1 .. ix + 2 of one source row for four pixels: q[i] holds
    // column ix - 1 + i of pixel j in lane j.
    static void window(const uint8_t* const at[4], int64_t offset, __m512 q[4]) {
        const __m512i bytes = blocks(at, offset);
        for (int i = 0; i < 4; ++i) {
            // Byte 4i + c into the low byte of channel c; 0x80 clears the others.
            const int b = 4 * i;
            const __m512i spread = _mm512_broadcast_i32x4(
                _mm_setr_epi32(int(0x80808000u | uint32_t(b)), int(0x80808000u | uint32_t(b + 1)),
                               int(0x80808000u | uint32_t(b + 2)), int(0x80808000u | uint32_t(b + 3))));
            q[i] = _mm512_cvtepi32_ps(_mm512_shuffle_epi8(bytes, spread));
        }
    }
    // Clamp to [0, 255] first (a NaN becomes 0), then round half up: equals
    // the scalar store.
    static void store(uint8_t* p, __m512 v) {
        v = _mm512_min_ps(_mm512_max_ps(v, _mm512_setzero_ps()), _mm512_set1_ps(255.0f));
        const __m512i i = _mm512_cvttps_epi32(_mm512_add_ps(v, _mm512_set1_ps(0.5f)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm512_cvtepi32_epi8(i));
    }
};

template <>
struct Lanes<Sarn_Pixel16> {
    static __m512 group(const uint8_t* p) {
        return _mm512_cvtepi32_ps(_mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))));
    }
    static void window(const uint8_t* const at[4], int64_t offset, __m512 q[4]) {
        const __m512i zero = _mm512_setzero_si512();
        const __m512i left = blocks(at, offset), right = blocks(at, offset + 16);
        q[0] = _mm512_cvtepi32_ps(_mm512_unpacklo_epi16(left, zero));
        q[1] = _mm512_cvtepi32_ps(_mm512_unpackhi_epi16(left, zero));
        q[2] = _mm512_cvtepi32_ps(_mm512_unpacklo_epi16(right, zero));
        q[3] = _mm512_cvtepi32_ps(_mm512_unpackhi_epi16(right, zero));
    }
    // 0 .. 32768 after the clamp fits an unsigned 16-bit word as it is.
    static void store(uint8_t* p, __m512 v) {
        v = _mm512_min_ps(_mm512_max_ps(v, _mm512_setzero_ps()), _mm512_set1_ps(32768.0f));
        const __m512i i = _mm512_cvttps_epi32(_mm512_add_ps(v, _mm512_set1_ps(0.5f)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_cvtepi32_epi16(i));
    }
};

template <>
struct Lanes<Sarn_PixelF> {
    static __m512 group(const uint8_t* p) { return _mm512_loadu_ps(reinterpret_cast<const float*>(p)); }
    // Each pixel's four source pixels in one vector, then a 4 x 4 transpose
    // of 128-bit blocks.
    static void window(const uint8_t* const at[4], int64_t offset, __m512 q[4]) {
        __m512 a[4];
        for (int j = 0; j < 4; ++j)
            a[j] = _mm512_loadu_ps(reinterpret_cast<const float*>(at[j] + offset));
        const __m512 t0 = _mm512_shuffle_f32x4(a[0], a[1], _MM_SHUFFLE(1, 0, 1, 0));
        const __m512 t1 = _mm512_shuffle_f32x4(a[0], a[1], _MM_SHUFFLE(3, 2, 3, 2));
        const __m512 t2 = _mm512_shuffle_f32x4(a[2], a[3], _MM_SHUFFLE(1, 0, 1, 0));
        const __m512 t3 = _mm512_shuffle_f32x4(a[2], a[3], _MM_SHUFFLE(3, 2, 3, 2));
        q[0] = _mm512_shuffle_f32x4(t0, t2, _MM_SHUFFLE(2, 0, 2, 0));
        q[1] = _mm512_shuffle_f32x4(t0, t2, _MM_SHUFFLE(3, 1, 3, 1));
        q[2] = _mm512_shuffle_f32x4(t1, t3, _MM_SHUFFLE(2, 0, 2, 0));
        q[3] = _mm512_shuffle_f32x4(t1, t3, _MM_SHUFFLE(3, 1, 3, 1));
    }
    static void store(uint8_t* p, __m512 v) { _mm512_storeu_ps(reinterpret_cast<float*>(p), v); }
};

// 0 + x[c1] + x[c2] + x[c3] within each lane, in the scalar kernel's order,
// the sum in all four positions of the lane.
template <class Order>
inline __m512 colourSum(__m512 x) {
    __m512 sum = _mm512_add_ps(_mm512_setzero_ps(), _mm512_permute_ps(x, Order::c1 * 0x55));
    sum = _mm512_add_ps(sum, _mm512_permute_ps(x, Order::c2 * 0x55));
    return _mm512_add_ps(sum, _mm512_permute_ps(x, Order::c3 * 0x55));
}

} // namespace

template <class Pixel, class Order>
void Sarn_ARWarpRow_avx512(const Sarn_ARWarpRow& r) {
    const int64_t width = int64_t(r.x1) - r.x0;
    if (width <= 0)
        return;
    const int64_t stride = r.sourceStride;
    const int32_t groupsEnd = int32_t(r.x0 + width / 4 * 4);
    const ARWarpGroups groups(r);
    const __m512 zero = _mm512_setzero_ps(), one = _mm512_set1_ps(1.0f), small = _mm512_set1_ps(0.001f);
    for (int32_t x = r.x0; x < groupsEnd; x += 4) {
        const int64_t column = int64_t(x) * Pixel::bytes;
        uint8_t* d = r.destination + column;
        const __m512 dv = Lanes<Pixel>::group(d);
        const ColourWarpGroup g = groups.at(x);
        const int pixels = g.pixels;

        __m512 v = zero, w = one;
        if (pixels != 0) {
            // The lanes of pixels outside are discarded below.
            const uint8_t* at[4];
            groups.neighbourhoods(g, Pixel::bytes, at);
            const __m512 tx = perLane(g.fractionX), ty = perLane(g.fractionY);
            // Rows iy - 2 .. iy + 3 filtered horizontally once, shared by A, V and B.
            __m512 h[6];
            for (int k = 0; k < 6; ++k) {
                __m512 q[4];
                Lanes<Pixel>::window(at, k * stride, q);
                h[k] = cubic(q[0], q[1], q[2], q[3], tx);
            }
            const __m512 sample = cubic(h[1], h[2], h[3], h[4], ty);
            const __m512 above = cubic(h[0], h[1], h[2], h[3], ty);
            const __m512 below = cubic(h[2], h[3], h[4], h[5], ty);
            const __m512 sumUpper = colourSum<Order>(_mm512_sub_ps(Lanes<Pixel>::group(r.upper + column), above));
            const __m512 sumLower = colourSum<Order>(_mm512_sub_ps(Lanes<Pixel>::group(r.lower + column), below));
            const __m512 sumDeparture = colourSum<Order>(_mm512_sub_ps(dv, sample));
            const __m512 e = _mm512_add_ps(_mm512_abs_ps(_mm512_add_ps(sumUpper, sumLower)), small);
            const __m512 dd = _mm512_add_ps(_mm512_abs_ps(sumDeparture), small);
            // min(1, w) keeps a NaN w, as `if (w > 1) w = 1` does.
            const __m512 weight = _mm512_min_ps(one, _mm512_div_ps(e, dd));
            const __mmask16 lanes = laneMask(pixels);
            v = _mm512_maskz_mov_ps(lanes, sample);
            w = _mm512_mask_blend_ps(lanes, one, weight);
        }
        Lanes<Pixel>::store(d, _mm512_add_ps(_mm512_mul_ps(_mm512_sub_ps(dv, v), w), v));
    }
    if (groupsEnd < r.x1) {
        Sarn_ARWarpRow rest = r;
        rest.x0 = groupsEnd;
        Sarn_ARWarpRow_sse2<Pixel, Order>(rest);
    }
}

template <class Pixel>
void Sarn_DiscardWarpRow_avx512(const Sarn_DiscardWarpRow& r) {
    const Sarn_Rect& b = r.rect;
    const int64_t width = int64_t(b.x1) - b.x0;
    if (width <= 0)
        return;
    const int64_t stride = r.sourceStride;
    const int32_t groupsEnd = int32_t(b.x0 + width / 4 * 4);
    const DiscardWarpGroups groups(r);
    const __m512 upperLimit = _mm512_set1_ps(r.threshold), lowerLimit = _mm512_set1_ps(-r.threshold);
    for (int32_t x = b.x0; x < groupsEnd; x += 4) {
        uint8_t* dxAt = r.dx + int64_t(x) * 4;
        uint8_t* dyAt = r.dy + int64_t(x) * 4;
        const ColourWarpGroup g = groups.at(x);
        const int pixels = g.pixels;
        if (pixels == 0)
            continue;
        // The lanes of pixels outside are not tested.
        const uint8_t* at[4];
        groups.neighbourhoods(g, Pixel::bytes, at);
        const __m512 tx = perLane(g.fractionX);
        __m512 h[4];
        for (int k = 0; k < 4; ++k) {
            __m512 q[4];
            Lanes<Pixel>::window(at, k * stride, q);
            h[k] = cubic(q[0], q[1], q[2], q[3], tx);
        }
        const __m512 sample = cubic(h[0], h[1], h[2], h[3], perLane(g.fractionY));
        const __m512 difference = _mm512_sub_ps(Lanes<Pixel>::group(r.reference + int64_t(x) * Pixel::bytes), sample);
        // Ordered comparisons: a NaN difference is no mismatch, as in the scalar kernel.
        const __mmask16 outside = __mmask16((_mm512_cmp_ps_mask(difference, lowerLimit, _CMP_LT_OQ) |
                                             _mm512_cmp_ps_mask(difference, upperLimit, _CMP_GT_OQ)) &
                                            laneMask(pixels));
        for (int j = 0; j < 4; ++j)
            if ((outside >> (4 * j)) & 0xF) {
                Sarn_LumF::store(dxAt + 4 * j, 0, Sarn_InvalidMotion);
                Sarn_LumF::store(dyAt + 4 * j, 0, Sarn_InvalidMotion);
            }
    }
    Sarn_DiscardWarpTail<Pixel>(r, groupsEnd);
}

template void Sarn_ARWarpRow_avx512<Sarn_Pixel8, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx512<Sarn_Pixel16, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx512<Sarn_PixelF, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx512<Sarn_Pixel8, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx512<Sarn_Pixel16, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx512<Sarn_PixelF, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_DiscardWarpRow_avx512<Sarn_Pixel8>(const Sarn_DiscardWarpRow&);
template void Sarn_DiscardWarpRow_avx512<Sarn_Pixel16>(const Sarn_DiscardWarpRow&);
template void Sarn_DiscardWarpRow_avx512<Sarn_PixelF>(const Sarn_DiscardWarpRow&);
