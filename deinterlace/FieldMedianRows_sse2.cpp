// SSE2 row functions of the field kernel: four 8-bit, two 16-bit or one float
// pixel per vector.
#include "deinterlace/FieldMedianNetwork.h"
#include "deinterlace/FieldMedianRows.h"
#include "image/Sarn_Pixel.h"

#include <emmintrin.h>

namespace {

struct Sse2Common {
    using Bright = __m128;
    static constexpr bool shiftsBrightness = false;
    static Bright less(Bright a, Bright b) { return _mm_cmplt_ps(a, b); }
    static Bright lessEqual(Bright a, Bright b) { return _mm_cmple_ps(a, b); }
    static Bright min(Bright a, Bright b) { return _mm_min_ps(a, b); }
    static Bright max(Bright a, Bright b) { return _mm_max_ps(a, b); }
};

struct Sse2Integer : Sse2Common {
    using Pixels = __m128i;
    static Pixels load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void store(uint8_t* p, Pixels v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static Pixels select(Bright mask, Pixels ifTrue, Pixels ifFalse) {
        const __m128i m = _mm_castps_si128(mask);
        return _mm_or_si128(_mm_and_si128(m, ifTrue), _mm_andnot_si128(m, ifFalse));
    }
};

// One pixel per 32-bit lane.
template <class Order>
struct Sse2Ops8 : Sse2Integer {
    static constexpr int lanes = 4;
    static constexpr int bytesPerPixel = 4;
    static Bright brightness(Pixels v) {
        const __m128i byte = _mm_set1_epi32(0xFF);
        const __m128i s =
            _mm_add_epi32(_mm_add_epi32(_mm_and_si128(_mm_srli_epi32(v, 8 * Order::c1), byte),
                                        _mm_and_si128(_mm_srli_epi32(v, 8 * Order::c2), byte)),
                          _mm_and_si128(_mm_srli_epi32(v, 8 * Order::c3), byte));
        return _mm_cvtepi32_ps(s);
    }
    // floor((p + q) / 2) per byte: the common bits plus half the differing ones.
    static Pixels average(Pixels p, Pixels q) {
        const __m128i half = _mm_and_si128(_mm_srli_epi16(_mm_xor_si128(p, q), 1), _mm_set1_epi8(0x7F));
        return _mm_add_epi8(_mm_and_si128(p, q), half);
    }
};

// One pixel per 64-bit lane; its brightness fills both 32-bit halves.
template <class Order>
struct Sse2Ops16 : Sse2Integer {
    static constexpr int lanes = 2;
    static constexpr int bytesPerPixel = 8;
    static Bright brightness(Pixels v) {
        const __m128i even = _mm_and_si128(v, _mm_set1_epi32(0xFFFF)); // channels 0, 2
        const __m128i odd = _mm_srli_epi32(v, 16);                      // channels 1, 3
        const __m128i pairs = _mm_add_epi32(even, odd);                 // 0 + 1, 2 + 3
        __m128i sum;
        if constexpr (Order::alpha == 0) // 1 + (2 + 3)
            sum = _mm_add_epi32(odd, _mm_shuffle_epi32(pairs, _MM_SHUFFLE(2, 3, 0, 1)));
        else // (0 + 1) + 2
            sum = _mm_add_epi32(pairs, _mm_shuffle_epi32(even, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm_cvtepi32_ps(_mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 2, 0, 0)));
    }
    static Pixels average(Pixels p, Pixels q) {
        return _mm_add_epi16(_mm_and_si128(p, q), _mm_srli_epi16(_mm_xor_si128(p, q), 1));
    }
};

// One pixel per vector; its brightness fills all four lanes.
template <class Order>
struct Sse2OpsFloat : Sse2Common {
    using Pixels = __m128;
    static constexpr int lanes = 1;
    static constexpr int bytesPerPixel = 16;
    static Pixels load(const uint8_t* p) { return _mm_loadu_ps(reinterpret_cast<const float*>(p)); }
    static void store(uint8_t* p, Pixels v) { _mm_storeu_ps(reinterpret_cast<float*>(p), v); }
    static Pixels select(Bright mask, Pixels ifTrue, Pixels ifFalse) {
        return _mm_or_ps(_mm_and_ps(mask, ifTrue), _mm_andnot_ps(mask, ifFalse));
    }
    static Bright brightness(Pixels v) {
        constexpr int c1 = Order::c1, c2 = Order::c2, c3 = Order::c3;
        const __m128 a = _mm_shuffle_ps(v, v, _MM_SHUFFLE(c1, c1, c1, c1));
        const __m128 b = _mm_shuffle_ps(v, v, _MM_SHUFFLE(c2, c2, c2, c2));
        const __m128 c = _mm_shuffle_ps(v, v, _MM_SHUFFLE(c3, c3, c3, c3));
        return _mm_add_ps(_mm_add_ps(a, b), c);
    }
    static Pixels average(Pixels p, Pixels q) { return _mm_mul_ps(_mm_add_ps(p, q), _mm_set1_ps(0.5f)); }
};

} // namespace

const FieldMedianRowTable& fieldMedianRows_sse2() {
    // Constant-initialised: no code of this tier runs before it is chosen.
    static constexpr FieldMedianRowTable table = FieldMedianNetwork::table<Sse2Ops8, Sse2Ops16, Sse2OpsFloat>();
    return table;
}
