// SSE2 row kernels of the colour warps: the four channels of a pixel ride in
// one vector, so one vector cubic filters all channels of a row at once. Every
// lane performs the scalar kernels' operations in the same order, and the
// channel sums are formed in scalar code in the same order, so the results
// are bit-identical.
#include "image/Sarn_ARWarp.h"
#include "image/Sarn_DiscardWarp.h"

#include <emmintrin.h>

#include <cmath>
#include <cstring>
#include <initializer_list>

namespace {

inline __m128 cubic(__m128 p0, __m128 p1, __m128 p2, __m128 p3, __m128 t) {
    const __m128 two = _mm_set1_ps(2.0f), three = _mm_set1_ps(3.0f), four = _mm_set1_ps(4.0f);
    const __m128 five = _mm_set1_ps(5.0f), half = _mm_set1_ps(0.5f);
    __m128 inner = _mm_sub_ps(_mm_add_ps(_mm_sub_ps(_mm_mul_ps(two, p0), _mm_mul_ps(five, p1)), _mm_mul_ps(four, p2)), p3);
    const __m128 cubicTerm = _mm_sub_ps(_mm_add_ps(_mm_mul_ps(three, _mm_sub_ps(p1, p2)), p3), p0);
    inner = _mm_mul_ps(_mm_add_ps(inner, _mm_mul_ps(cubicTerm, t)), t);
    const __m128 outer = _mm_mul_ps(_mm_add_ps(_mm_sub_ps(p2, p0), inner), t);
    return _mm_mul_ps(half, _mm_add_ps(_mm_mul_ps(two, p1), outer));
}

template <class Pixel>
struct Lanes;

template <>
struct Lanes<Sarn_Pixel8> {
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
    // Clamp to [0, 255] first, then round half up: equals the scalar store.
    static void store(uint8_t* p, __m128 v) {
        v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.0f));
        const __m128i i = _mm_cvttps_epi32(_mm_add_ps(v, _mm_set1_ps(0.5f)));
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(i, i), _mm_setzero_si128());
        const int32_t bits = _mm_cvtsi128_si32(packed);
        std::memcpy(p, &bits, 4);
    }
};

template <>
struct Lanes<Sarn_Pixel16> {
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
        v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(32768.0f));
        __m128i i = _mm_cvttps_epi32(_mm_add_ps(v, _mm_set1_ps(0.5f)));
        i = _mm_sub_epi32(i, _mm_set1_epi32(32768));
        const __m128i packed = _mm_xor_si128(_mm_packs_epi32(i, i), _mm_set1_epi16(int16_t(0x8000)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), packed);
    }
};

template <>
struct Lanes<Sarn_PixelF> {
    static __m128 one(const uint8_t* p) { return _mm_loadu_ps(reinterpret_cast<const float*>(p)); }
    static void four(const uint8_t* p, __m128 out[4]) {
        for (int k = 0; k < 4; ++k)
            out[k] = _mm_loadu_ps(reinterpret_cast<const float*>(p + 16 * k));
    }
    static void store(uint8_t* p, __m128 v) { _mm_storeu_ps(reinterpret_cast<float*>(p), v); }
};

template <class Pixel>
inline __m128 filterRow(const uint8_t* p, __m128 t) {
    __m128 q[4];
    Lanes<Pixel>::four(p, q);
    return cubic(q[0], q[1], q[2], q[3], t);
}

} // namespace

template <class Pixel, class Order>
void Sarn_ARWarpRow_sse2(const Sarn_ARWarpRow& r) {
    const int64_t stride = r.sourceStride;
    const Sarn_Rect& s = r.sourceRect;
    const float y = float(r.y);
    for (int32_t x = r.x0; x < r.x1; ++x) {
        const int64_t column = int64_t(x) * Pixel::bytes;
        uint8_t* d = r.destination + column;
        const __m128 dv = Lanes<Pixel>::one(d);
        const float sx = float(x) + Sarn_LumF::load(r.dx + int64_t(x) * 4, 0);
        const float sy = 2.0f * (y + Sarn_LumF::load(r.dy + int64_t(x) * 4, 0)) + r.lineOffset;
        __m128 v = _mm_setzero_ps();
        float w = 1.0f;
        int32_t ix, iy;
        float fx, fy;
        if (Sarn_SplitPosition(sx, ix, fx) && Sarn_SplitPosition(sy, iy, fy) && ix > s.x0 &&
            ix < s.x1 - 2 && iy >= s.y0 + 2 && iy < s.y1 - 3) {
            const __m128 tx = _mm_set1_ps(fx), ty = _mm_set1_ps(fy);
            const uint8_t* p = r.source + int64_t(iy - 2) * stride + int64_t(ix - 1) * Pixel::bytes;
            __m128 h[6];
            for (int k = 0; k < 6; ++k, p += stride)
                h[k] = filterRow<Pixel>(p, tx);
            v = cubic(h[1], h[2], h[3], h[4], ty);
            const __m128 above = cubic(h[0], h[1], h[2], h[3], ty);
            const __m128 below = cubic(h[2], h[3], h[4], h[5], ty);
            alignas(16) float upperError[4], lowerError[4], departure[4];
            _mm_store_ps(upperError, _mm_sub_ps(Lanes<Pixel>::one(r.upper + column), above));
            _mm_store_ps(lowerError, _mm_sub_ps(Lanes<Pixel>::one(r.lower + column), below));
            _mm_store_ps(departure, _mm_sub_ps(dv, v));
            float sumUpper = 0.0f, sumLower = 0.0f, sumDeparture = 0.0f;
            for (int c : {Order::c1, Order::c2, Order::c3}) {
                sumUpper += upperError[c];
                sumLower += lowerError[c];
                sumDeparture += departure[c];
            }
            const float e = std::fabs(sumUpper + sumLower) + 0.001f;
            const float dd = std::fabs(sumDeparture) + 0.001f;
            w = e / dd;
            if (w > 1.0f)
                w = 1.0f;
        }
        Lanes<Pixel>::store(d, _mm_add_ps(_mm_mul_ps(_mm_sub_ps(dv, v), _mm_set1_ps(w)), v));
    }
}

template <class Pixel>
void Sarn_DiscardWarpRow_sse2(const Sarn_DiscardWarpRow& r) {
    const int64_t stride = r.sourceStride;
    const Sarn_Rect& b = r.rect;
    const __m128 upperLimit = _mm_set1_ps(r.threshold), lowerLimit = _mm_set1_ps(-r.threshold);
    for (int32_t x = b.x0; x < b.x1; ++x) {
        uint8_t* dxAt = r.dx + int64_t(x) * 4;
        uint8_t* dyAt = r.dy + int64_t(x) * 4;
        int32_t ix, iy;
        float fx, fy;
        if (!Sarn_DiscardWarpCell(r, x, ix, iy, fx, fy))
            continue;
        const __m128 tx = _mm_set1_ps(fx);
        const uint8_t* p = r.source + int64_t(iy - 1) * stride + int64_t(ix - 1) * Pixel::bytes;
        __m128 h[4];
        for (int k = 0; k < 4; ++k, p += stride)
            h[k] = filterRow<Pixel>(p, tx);
        const __m128 sample = cubic(h[0], h[1], h[2], h[3], _mm_set1_ps(fy));
        const __m128 difference = _mm_sub_ps(Lanes<Pixel>::one(r.reference + int64_t(x) * Pixel::bytes), sample);
        const __m128 outside =
            _mm_or_ps(_mm_cmplt_ps(difference, lowerLimit), _mm_cmpgt_ps(difference, upperLimit));
        if (_mm_movemask_ps(outside) != 0) {
            Sarn_LumF::store(dxAt, 0, Sarn_InvalidMotion);
            Sarn_LumF::store(dyAt, 0, Sarn_InvalidMotion);
        }
    }
}

template void Sarn_ARWarpRow_sse2<Sarn_Pixel8, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_sse2<Sarn_Pixel16, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_sse2<Sarn_PixelF, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_sse2<Sarn_Pixel8, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_sse2<Sarn_Pixel16, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_sse2<Sarn_PixelF, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_DiscardWarpRow_sse2<Sarn_Pixel8>(const Sarn_DiscardWarpRow&);
template void Sarn_DiscardWarpRow_sse2<Sarn_Pixel16>(const Sarn_DiscardWarpRow&);
template void Sarn_DiscardWarpRow_sse2<Sarn_PixelF>(const Sarn_DiscardWarpRow&);
