// AVX2 row kernels of the colour warps: two destination pixels per vector, one
// pixel per 128-bit lane with its four channels in the lane's order, as in the
// SSE2 kernel; a group of four pixels is two such vectors. Every lane performs
// the scalar kernel's operations in the same order (the channel sums too,
// within the lane), so the results are bit-identical.
#include "image/SarnARWarp.h"
#include "image/SarnDiscardWarp.h"

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

// The sample position of four pixels split into cell and fraction exactly as
// Sarn_SplitPosition does; `ok` is all ones where the position has a cell.
inline void split(__m128 s, __m128i& cell, __m128& fraction, __m128i& ok) {
    ok = _mm_castps_si128(
        _mm_and_ps(_mm_cmpge_ps(s, _mm_set1_ps(-1073741824.0f)), _mm_cmplt_ps(s, _mm_set1_ps(1073741824.0f))));
    __m128i t = _mm_cvttps_epi32(s);
    t = _mm_add_epi32(t, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(t), s)));
    cell = t;
    fraction = _mm_sub_ps(s, _mm_cvtepi32_ps(t));
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
void Sarn_ARWarpRowAvx2(const Sarn_ARWarpRow& r) {
    const int64_t width = int64_t(r.x1) - r.x0;
    if (width <= 0)
        return;
    const int64_t stride = r.sourceStride;
    const Sarn_Rect& s = r.sourceRect;
    const int32_t groupsEnd = int32_t(r.x0 + width / 4 * 4);
    const __m128 y = _mm_set1_ps(float(r.y)), lineOffset = _mm_set1_ps(r.lineOffset);
    const __m128i left = _mm_set1_epi32(s.x0), right = _mm_set1_epi32(s.x1 - 2);
    const __m128i top = _mm_set1_epi32(s.y0 + 2), bottom = _mm_set1_epi32(s.y1 - 3);
    constexpr int half = 2 * Pixel::bytes; // bytes of two pixels
    for (int32_t x = r.x0; x < groupsEnd; x += 4) {
        const int64_t column = int64_t(x) * Pixel::bytes;
        uint8_t* d = r.destination + column;
        const __m256 dv[2] = {Lanes<Pixel>::pair(d), Lanes<Pixel>::pair(d + half)};
        const __m128i columns = _mm_add_epi32(_mm_set1_epi32(x), _mm_setr_epi32(0, 1, 2, 3));
        const __m128 sx =
            _mm_add_ps(_mm_cvtepi32_ps(columns), _mm_loadu_ps(reinterpret_cast<const float*>(r.dx + int64_t(x) * 4)));
        const __m128 sy = _mm_add_ps(
            _mm_mul_ps(_mm_set1_ps(2.0f),
                       _mm_add_ps(y, _mm_loadu_ps(reinterpret_cast<const float*>(r.dy + int64_t(x) * 4)))),
            lineOffset);
        __m128i ix, iy, okX, okY;
        __m128 fx, fy;
        split(sx, ix, fx, okX);
        split(sy, iy, fy, okY);
        __m128i inside = _mm_and_si128(_mm_and_si128(okX, okY),
                                       _mm_and_si128(_mm_cmpgt_epi32(ix, left), _mm_cmplt_epi32(ix, right)));
        inside = _mm_and_si128(inside, _mm_andnot_si128(_mm_cmplt_epi32(iy, top), _mm_cmplt_epi32(iy, bottom)));
        const int pixels = _mm_movemask_ps(_mm_castsi128_ps(inside));

        __m256 v[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
        __m256 w[2] = {_mm256_set1_ps(1.0f), _mm256_set1_ps(1.0f)};
        if (pixels != 0) {
            alignas(16) int32_t cellX[4], cellY[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(cellX), ix);
            _mm_store_si128(reinterpret_cast<__m128i*>(cellY), iy);
            // A pixel outside reads the neighbourhood of one inside; its lane
            // is discarded by the blend.
            const int firstInside = __builtin_ctz(unsigned(pixels));
            const uint8_t* at[4];
            for (int j = 0; j < 4; ++j) {
                const int k = (pixels >> j) & 1 ? j : firstInside;
                at[j] = r.source + int64_t(cellY[k] - 2) * stride + int64_t(cellX[k] - 1) * Pixel::bytes;
            }
            const __m128 insideMask = _mm_castsi128_ps(inside);
            for (int pair = 0; pair < 2; ++pair) {
                if (((pixels >> (2 * pair)) & 3) == 0)
                    continue;
                const Blend b = blendOfPair<Pixel, Order>(
                    at + 2 * pair, stride, perLane(fx, 2 * pair), perLane(fy, 2 * pair), dv[pair],
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
        Sarn_ARWarpRowSse2<Pixel, Order>(rest);
    }
}

template <class Pixel>
void Sarn_DiscardWarpRowAvx2(const Sarn_DiscardWarpRow& r) {
    const Sarn_Rect& b = r.rect;
    const int64_t width = int64_t(b.x1) - b.x0;
    if (width <= 0)
        return;
    const int64_t stride = r.sourceStride;
    const int32_t groupsEnd = int32_t(b.x0 + width / 4 * 4);
    const __m128 y = _mm_set1_ps(float(r.y)), offsetX = _mm_set1_ps(r.offsetX), offsetY = _mm_set1_ps(r.offsetY);
    const __m128 scaleX = _mm_set1_ps(r.scaleX), scaleY = _mm_set1_ps(r.scaleY);
    const __m128i left = _mm_set1_epi32(b.x0), right = _mm_set1_epi32(b.x1 - 2);
    const __m128i top = _mm_set1_epi32(b.y0), bottom = _mm_set1_epi32(b.y1 - 2);
    const __m256 upperLimit = _mm256_set1_ps(r.threshold), lowerLimit = _mm256_set1_ps(-r.threshold);
    constexpr int half = 2 * Pixel::bytes; // bytes of two pixels
    for (int32_t x = b.x0; x < groupsEnd; x += 4) {
        uint8_t* dxAt = r.dx + int64_t(x) * 4;
        uint8_t* dyAt = r.dy + int64_t(x) * 4;
        const __m128i columns = _mm_add_epi32(_mm_set1_epi32(x), _mm_setr_epi32(0, 1, 2, 3));
        const __m128 motionX = _mm_loadu_ps(reinterpret_cast<const float*>(dxAt));
        const __m128 motionY = _mm_loadu_ps(reinterpret_cast<const float*>(dyAt));
        const __m128 sx = _mm_add_ps(_mm_add_ps(_mm_cvtepi32_ps(columns), offsetX), _mm_mul_ps(motionX, scaleX));
        const __m128 sy = _mm_add_ps(_mm_add_ps(_mm_mul_ps(motionY, scaleY), y), offsetY);
        __m128i ix, iy, okX, okY;
        __m128 fx, fy;
        split(sx, ix, fx, okX);
        split(sy, iy, fy, okY);
        __m128i inside = _mm_and_si128(_mm_and_si128(okX, okY),
                                       _mm_and_si128(_mm_cmpgt_epi32(ix, left), _mm_cmplt_epi32(ix, right)));
        inside = _mm_and_si128(inside, _mm_and_si128(_mm_cmpgt_epi32(iy, top), _mm_cmplt_epi32(iy, bottom)));
        const int pixels = _mm_movemask_ps(_mm_castsi128_ps(inside));
        if (pixels == 0)
            continue;
        alignas(16) int32_t cellX[4], cellY[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(cellX), ix);
        _mm_store_si128(reinterpret_cast<__m128i*>(cellY), iy);
        // A pixel outside reads the neighbourhood of one inside; its lane is
        // not tested.
        const int firstInside = __builtin_ctz(unsigned(pixels));
        const uint8_t* at[4];
        for (int j = 0; j < 4; ++j) {
            const int k = (pixels >> j) & 1 ? j : firstInside;
            at[j] = r.source + int64_t(cellY[k] - 1) * stride + int64_t(cellX[k] - 1) * Pixel::bytes;
        }
        const uint8_t* reference = r.reference + int64_t(x) * Pixel::bytes;
        int mismatches = 0; // four bits per pixel, one per channel
        for (int pair = 0; pair < 2; ++pair) {
            if (((pixels >> (2 * pair)) & 3) == 0)
                continue;
            const __m256 tx = perLane(fx, 2 * pair);
            __m256 h[4];
            for (int k = 0; k < 4; ++k) {
                __m256 q[4];
                Lanes<Pixel>::window(at + 2 * pair, k * stride, q);
                h[k] = cubic(q[0], q[1], q[2], q[3], tx);
            }
            const __m256 sample = cubic(h[0], h[1], h[2], h[3], perLane(fy, 2 * pair));
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
    for (int32_t x = groupsEnd; x < b.x1; ++x)
        Sarn_DiscardWarpPixelScalar<Pixel>(r, x);
}

template void Sarn_ARWarpRowAvx2<Sarn_Pixel8, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRowAvx2<Sarn_Pixel16, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRowAvx2<Sarn_PixelF, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRowAvx2<Sarn_Pixel8, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRowAvx2<Sarn_Pixel16, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRowAvx2<Sarn_PixelF, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_DiscardWarpRowAvx2<Sarn_Pixel8>(const Sarn_DiscardWarpRow&);
template void Sarn_DiscardWarpRowAvx2<Sarn_Pixel16>(const Sarn_DiscardWarpRow&);
template void Sarn_DiscardWarpRowAvx2<Sarn_PixelF>(const Sarn_DiscardWarpRow&);
