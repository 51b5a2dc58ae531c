// AVX2 row kernels of the colour warps: two destination pixels per vector, one
// pixel per 128-bit lane with its four channels in the lane's order, as in the
// SSE2 kernel; a group of four pixels is two such vectors. Every lane performs
// the scalar kernel's operations in the same order (the channel sums too,
// within the lane), so the results are bit-identical.
#include "image/ColourWarpGroup.h"
#include "image/Sarn_ARWarp.h"
#include "image/Sarn_DiscardWarp.h"

#include <immintrin.h>

namespace {

inline __m256 cubic(__m256 p0, __m256 p1, __m256 p2, __m256 p3, __m256 t) {
    const __m256 two = _mm256_set1_ps(2.0f), three = _mm256_set1_ps(3.0f), four = _mm256_set1_ps(4.0f);
    const __m256 five = _mm256_set1_ps(5.0f), half = _mm256_set1_ps(0.5f);
    __m256 inner = _mm256_sub_ps(
        _mm256_add_ps(_mm256_sub_ps(_mm256_mul_ps(two, p0), _mm256_mul_ps(five, p1)), _mm256_mul_ps(four, p2)), p3);
    const __m256 cubicTerm = _mm256_sub_ps(_mm256_add_ps(_mm256_mul_ps(three, _mm256_sub_ps(p1, p2)), p3), p0);
    inner = _mm256_mul_ps(_mm256_add_ps(inner, _mm256_mul_ps(cubicTerm, t)), t);
    const __m256 outer = _mm256_mul_ps(_mm256_add_ps(_mm256_sub_ps(p2, p0), inner), t);
    return _mm256_mul_ps(half, _mm256_add_ps(_mm256_mul_ps(two, p1), outer));
}

// Sixteen bytes from each of two places, the j-th into lane j.
inline __m256i blocks(const uint8_t* const at[2], int64_t offset) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[0] + offset));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[1] + offset));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// Elements `first` and `first` + 1 of x, each in all four positions of its lane.
inline __m256 perLane(__m128 x, int first) {
    const __m256i index = _mm256_setr_epi32(first, first, first, first, first + 1, first + 1, first + 1, first + 1);
    return _mm256_permutevar8x32_ps(_mm256_castps128_ps256(x), index);
}

template <class Pixel>
struct Lanes;

template <>
struct Lanes<Sarn_Pixel8> {
    // Two consecutive pixels, pixel j in lane j.
    static __m256 pair(const uint8_t* p) {
        return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    // Columns ix - 1 .. ix + 2 of one source row for two pixels: q[i] holds
    // column ix - 1 + i of pixel j in lane j.
    static void window(const uint8_t* const at[2], int64_t offset, __m256 q[4]) {
        const __m256i bytes = blocks(at, offset);
        for (int i = 0; i < 4; ++i) {
            // Byte 4i + c into the low byte of channel c; 0x80 clears the others.
            const int b = 4 * i;
            const __m128i spread =
                _mm_setr_epi32(int(0x80808000u | uint32_t(b)), int(0x80808000u | uint32_t(b + 1)),
                               int(0x80808000u | uint32_t(b + 2)), int(0x80808000u | uint32_t(b + 3)));
            q[i] = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(bytes, _mm256_broadcastsi128_si256(spread)));
        }
    }
    // Clamp to [0, 255] first (a NaN becomes 0), then round half up: equals
    // the scalar store. Four pixels: 0 and 1 in `first`, 2 and 3 in `second`.
    static __m256i rounded(__m256 v) {
        v = _mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), _mm256_set1_ps(255.0f));
        return _mm256_cvttps_epi32(_mm256_add_ps(v, _mm256_set1_ps(0.5f)));
    }
    static void store(uint8_t* p, __m256 first, __m256 second) {
        // The packs work per lane: words come out as pixels 0, 2 | 1, 3, bytes
        // as 0, 2, 0, 2 | 1, 3, 1, 3.
        const __m256i words = _mm256_packus_epi32(rounded(first), rounded(second));
        const __m256i bytes = _mm256_packus_epi16(words, words);
        const __m256i ordered = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(ordered));
    }
};

template <>
struct Lanes<Sarn_Pixel16> {
    static __m256 pair(const uint8_t* p) {
        return _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    }
    static void window(const uint8_t* const at[2], int64_t offset, __m256 q[4]) {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i left = blocks(at, offset), right = blocks(at, offset + 16);
        q[0] = _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(left, zero));
        q[1] = _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(left, zero));
        q[2] = _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(right, zero));
        q[3] = _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(right, zero));
    }
    static __m256i rounded(__m256 v) {
        v = _mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), _mm256_set1_ps(32768.0f));
        return _mm256_cvttps_epi32(_mm256_add_ps(v, _mm256_set1_ps(0.5f)));
    }
    // 0 .. 32768 passes the unsigned pack unchanged; its words come out as
    // pixels 0, 2 | 1, 3.
    static void store(uint8_t* p, __m256 first, __m256 second) {
        const __m256i words = _mm256_packus_epi32(rounded(first), rounded(second));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_permute4x64_epi64(words, _MM_SHUFFLE(3, 1, 2, 0)));
    }
};

template <>
struct Lanes<Sarn_PixelF> {
    static __m256 pair(const uint8_t* p) { return _mm256_loadu_ps(reinterpret_cast<const float*>(p)); }
    static void window(const uint8_t* const at[2], int64_t offset, __m256 q[4]) {
        for (int i = 0; i < 4; ++i)
            q[i] = _mm256_castsi256_ps(blocks(at, offset + 16 * i));
    }
    static void store(uint8_t* p, __m256 first, __m256 second) {
        _mm256_storeu_ps(reinterpret_cast<float*>(p), first);
        _mm256_storeu_ps(reinterpret_cast<float*>(p + 32), second);
    }
};

// 0 + x[c1] + x[c2] + x[c3] within each lane, in the scalar kernel's order,
// the sum in all four positions of the lane.
template <class Order>
inline __m256 colourSum(__m256 x) {
    __m256 sum = _mm256_add_ps(_mm256_setzero_ps(), _mm256_permute_ps(x, Order::c1 * 0x55));
    sum = _mm256_add_ps(sum, _mm256_permute_ps(x, Order::c2 * 0x55));
    return _mm256_add_ps(sum, _mm256_permute_ps(x, Order::c3 * 0x55));
}

struct Blend {
    __m256 sample, weight;
};

// V and w of two pixels whose neighbourhoods start at at[0] and at[1], or
// V = 0 and w = 1 in the lanes whose `inside` is clear.
template <class Pixel, class Order>
inline Blend blendOfPair(const uint8_t* const at[2], int64_t stride, __m256 tx, __m256 ty, __m256 dv, __m256 upper,
                         __m256 lower, __m256 inside) {
    const __m256 one = _mm256_set1_ps(1.0f), small = _mm256_set1_ps(0.001f);
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    // Rows iy - 2 .. iy + 3 filtered horizontally once, shared by A, V and B.
    __m256 h[6];
    for (int k = 0; k < 6; ++k) {
        __m256 q[4];
        Lanes<Pixel>::window(at, k * stride, q);
        h[k] = cubic(q[0], q[1], q[2], q[3], tx);
    }
    const __m256 sample = cubic(h[1], h[2], h[3], h[4], ty);
    const __m256 above = cubic(h[0], h[1], h[2], h[3], ty);
    const __m256 below = cubic(h[2], h[3], h[4], h[5], ty);
    const __m256 sumUpper = colourSum<Order>(_mm256_sub_ps(upper, above));
    const __m256 sumLower = colourSum<Order>(_mm256_sub_ps(lower, below));
    const __m256 sumDeparture = colourSum<Order>(_mm256_sub_ps(dv, sample));
    const __m256 e = _mm256_add_ps(_mm256_and_ps(_mm256_add_ps(sumUpper, sumLower), magnitude), small);
    const __m256 dd = _mm256_add_ps(_mm256_and_ps(sumDeparture, magnitude), small);
    // min(1, w) keeps a NaN w, as `if (w > 1) w = 1` does.
    const __m256 weight = _mm256_min_ps(one, _mm256_div_ps(e, dd));
    return {_mm256_and_ps(sample, inside), _mm256_blendv_ps(one, weight, inside)};
}

} // namespace

template <class Pixel, class Order>
void Sarn_ARWarpRow_avx2(const Sarn_ARWarpRow& r) {
    const int64_t width = int64_t(r.x1) - r.x0;
    if (width <= 0)
        return;
    const int64_t stride = r.sourceStride;
    const int32_t groupsEnd = int32_t(r.x0 + width / 4 * 4);
    const ARWarpGroups groups(r);
    constexpr int half = 2 * Pixel::bytes; // bytes of two pixels
    for (int32_t x = r.x0; x < groupsEnd; x += 4) {
        const int64_t column = int64_t(x) * Pixel::bytes;
        uint8_t* d = r.destination + column;
        const __m256 dv[2] = {Lanes<Pixel>::pair(d), Lanes<Pixel>::pair(d + half)};
        const ColourWarpGroup g = groups.at(x);
        const int pixels = g.pixels;

        __m256 v[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
        __m256 w[2] = {_mm256_set1_ps(1.0f), _mm256_set1_ps(1.0f)};
        if (pixels != 0) {
            // The lanes of pixels outside are discarded by the blend.
            const uint8_t* at[4];
            groups.neighbourhoods(g, Pixel::bytes, at);
            const __m128 insideMask = _mm_castsi128_ps(g.inside);
            for (int pair = 0; pair < 2; ++pair) {
                if (((pixels >> (2 * pair)) & 3) == 0)
                    continue;
                const Blend b = blendOfPair<Pixel, Order>(
                    at + 2 * pair, stride, perLane(g.fractionX, 2 * pair), perLane(g.fractionY, 2 * pair), dv[pair],
                    Lanes<Pixel>::pair(r.upper + column + pair * half), Lanes<Pixel>::pair(r.lower + column + pair * half),
                    perLane(insideMask, 2 * pair));
                v[pair] = b.sample;
                w[pair] = b.weight;
            }
        }
        Lanes<Pixel>::store(d, _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(dv[0], v[0]), w[0]), v[0]),
                            _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(dv[1], v[1]), w[1]), v[1]));
    }
    if (groupsEnd < r.x1) {
        Sarn_ARWarpRow rest = r;
        rest.x0 = groupsEnd;
        Sarn_ARWarpRow_sse2<Pixel, Order>(rest);
    }
}

template <class Pixel>
void Sarn_DiscardWarpRow_avx2(const Sarn_DiscardWarpRow& r) {
    const Sarn_Rect& b = r.rect;
    const int64_t width = int64_t(b.x1) - b.x0;
    if (width <= 0)
        return;
    const int64_t stride = r.sourceStride;
    const int32_t groupsEnd = int32_t(b.x0 + width / 4 * 4);
    const DiscardWarpGroups groups(r);
    const __m256 upperLimit = _mm256_set1_ps(r.threshold), lowerLimit = _mm256_set1_ps(-r.threshold);
    constexpr int half = 2 * Pixel::bytes; // bytes of two pixels
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
        const uint8_t* reference = r.reference + int64_t(x) * Pixel::bytes;
        int mismatches = 0; // four bits per pixel, one per channel
        for (int pair = 0; pair < 2; ++pair) {
            if (((pixels >> (2 * pair)) & 3) == 0)
                continue;
            const __m256 tx = perLane(g.fractionX, 2 * pair);
            __m256 h[4];
            for (int k = 0; k < 4; ++k) {
                __m256 q[4];
                Lanes<Pixel>::window(at + 2 * pair, k * stride, q);
                h[k] = cubic(q[0], q[1], q[2], q[3], tx);
            }
            const __m256 sample = cubic(h[0], h[1], h[2], h[3], perLane(g.fractionY, 2 * pair));
            const __m256 difference = _mm256_sub_ps(Lanes<Pixel>::pair(reference + pair * half), sample);
            // Ordered comparisons: a NaN difference is no mismatch, as in the scalar kernel.
            const __m256 outside = _mm256_or_ps(_mm256_cmp_ps(difference, lowerLimit, _CMP_LT_OQ),
                                                _mm256_cmp_ps(difference, upperLimit, _CMP_GT_OQ));
            mismatches |= _mm256_movemask_ps(outside) << (8 * pair);
        }
        for (int j = 0; j < 4; ++j)
            if (((pixels >> j) & 1) && ((mismatches >> (4 * j)) & 0xF)) {
                Sarn_LumF::store(dxAt + 4 * j, 0, Sarn_InvalidMotion);
                Sarn_LumF::store(dyAt + 4 * j, 0, Sarn_InvalidMotion);
            }
    }
    Sarn_DiscardWarpTail<Pixel>(r, groupsEnd);
}

template void Sarn_ARWarpRow_avx2<Sarn_Pixel8, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx2<Sarn_Pixel16, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx2<Sarn_PixelF, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx2<Sarn_Pixel8, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx2<Sarn_Pixel16, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx2<Sarn_PixelF, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_DiscardWarpRow_avx2<Sarn_Pixel8>(const Sarn_DiscardWarpRow&);
template void Sarn_DiscardWarpRow_avx2<Sarn_Pixel16>(const Sarn_DiscardWarpRow&);
template void Sarn_DiscardWarpRow_avx2<Sarn_PixelF>(const Sarn_DiscardWarpRow&);
