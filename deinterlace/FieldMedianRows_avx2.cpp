// AVX2 row functions of the field kernel: eight 8-bit, four 16-bit or two
// float pixels per vector.
#include "deinterlace/FieldMedianNetwork.h"
#include "deinterlace/FieldMedianRows.h"
#include "image/Sarn_Pixel.h"

#include <immintrin.h>

namespace {

// Integer brightness is exact in 32-bit lanes and compared as signed
// integers (at most 3 * 32768). The processor only has "greater than": a
// mask of b > a is a < b, and a mask of a > b selects the other way round
// for a <= b.
struct Avx2Integer {
    using Pixels = __m256i;
    using Bright = __m256i;
    struct Less {
        __m256i m;
    };
    struct Greater {
        __m256i m;
    };
    static Less less(Bright a, Bright b) { return Less{_mm256_cmpgt_epi32(b, a)}; }
    static Greater lessEqual(Bright a, Bright b) { return Greater{_mm256_cmpgt_epi32(a, b)}; }
    static Bright min(Bright a, Bright b) { return _mm256_min_epi32(a, b); }
    static Bright max(Bright a, Bright b) { return _mm256_max_epi32(a, b); }
    static Pixels load(const uint8_t* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    static void store(uint8_t* p, Pixels v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static Pixels select(Less mask, Pixels ifTrue, Pixels ifFalse) {
        return _mm256_blendv_epi8(ifFalse, ifTrue, mask.m);
    }
    static Pixels select(Greater notMask, Pixels ifTrue, Pixels ifFalse) {
        return _mm256_blendv_epi8(ifTrue, ifFalse, notMask.m);
    }
};

// One pixel per 32-bit lane. Recomputing a neighbour's brightness (two
// multiply-adds) costs no more than shifting it across the 128-bit halves.
template <class Order>
struct Avx2Ops8 : Avx2Integer {
    static constexpr int lanes = 8;
    static constexpr int bytesPerPixel = 4;
    static constexpr bool shiftsBrightness = false;
    // Bytes times 1 for colour and 0 for alpha, added in pairs, then the pairs.
    static Bright brightness(Pixels v) {
        const __m256i weights = _mm256_set1_epi32(Order::alpha == 0 ? 0x01010100 : 0x00010101);
        return _mm256_madd_epi16(_mm256_maddubs_epi16(v, weights), _mm256_set1_epi16(1));
    }
    // floor((p + q) / 2) per byte: the common bits plus half the differing ones.
    static Pixels average(Pixels p, Pixels q) {
        const __m256i half =
            _mm256_and_si256(_mm256_srli_epi16(_mm256_xor_si256(p, q), 1), _mm256_set1_epi8(0x7F));
        return _mm256_add_epi8(_mm256_and_si256(p, q), half);
    }
};

// One pixel per 64-bit lane; its brightness fills both 32-bit halves.
template <class Order>
struct Avx2Ops16 : Avx2Integer {
    static constexpr int lanes = 4;
    static constexpr int bytesPerPixel = 8;
    static constexpr bool shiftsBrightness = true;
    static Bright brightness(Pixels v) {
        const __m256i even = _mm256_and_si256(v, _mm256_set1_epi32(0xFFFF)); // channels 0, 2
        const __m256i odd = _mm256_srli_epi32(v, 16);                         // channels 1, 3
        const __m256i pairs = _mm256_add_epi32(even, odd);                    // 0 + 1, 2 + 3
        __m256i sum;
        if constexpr (Order::alpha == 0) // 1 + (2 + 3)
            sum = _mm256_add_epi32(odd, _mm256_shuffle_epi32(pairs, _MM_SHUFFLE(2, 3, 0, 1)));
        else // (0 + 1) + 2
            sum = _mm256_add_epi32(pairs, _mm256_shuffle_epi32(even, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm256_shuffle_epi32(sum, _MM_SHUFFLE(2, 2, 0, 0));
    }
    static Pixels average(Pixels p, Pixels q) {
        return _mm256_add_epi16(_mm256_and_si256(p, q), _mm256_srli_epi16(_mm256_xor_si256(p, q), 1));
    }
    // w holds columns x + 1 .. x + 4, wPrev columns x - 3 .. x.
    static Bright left(Bright w, Bright wPrev) { return _mm256_permute2x128_si256(wPrev, w, 0x21); }
    static Bright centre(Bright w, Bright wPrev) { return _mm256_alignr_epi8(w, left(w, wPrev), 8); }
    static Bright prime(Bright v) { return _mm256_permute2x128_si256(v, v, 0x00); }
};

// One pixel per 128-bit half; its brightness fills the half.
template <class Order>
struct Avx2OpsFloat {
    using Pixels = __m256;
    using Bright = __m256;
    static constexpr int lanes = 2;
    static constexpr int bytesPerPixel = 16;
    static constexpr bool shiftsBrightness = true;
    static Bright less(Bright a, Bright b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static Bright lessEqual(Bright a, Bright b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
    static Bright min(Bright a, Bright b) { return _mm256_min_ps(a, b); }
    static Bright max(Bright a, Bright b) { return _mm256_max_ps(a, b); }
    static Pixels load(const uint8_t* p) { return _mm256_loadu_ps(reinterpret_cast<const float*>(p)); }
    static void store(uint8_t* p, Pixels v) { _mm256_storeu_ps(reinterpret_cast<float*>(p), v); }
    static Pixels select(Bright mask, Pixels ifTrue, Pixels ifFalse) {
        return _mm256_blendv_ps(ifFalse, ifTrue, mask);
    }
    static Bright brightness(Pixels v) {
        constexpr int c1 = Order::c1, c2 = Order::c2, c3 = Order::c3;
        const __m256 a = _mm256_permute_ps(v, _MM_SHUFFLE(c1, c1, c1, c1));
        const __m256 b = _mm256_permute_ps(v, _MM_SHUFFLE(c2, c2, c2, c2));
        const __m256 c = _mm256_permute_ps(v, _MM_SHUFFLE(c3, c3, c3, c3));
        return _mm256_add_ps(_mm256_add_ps(a, b), c);
    }
    static Pixels average(Pixels p, Pixels q) {
        return _mm256_mul_ps(_mm256_add_ps(p, q), _mm256_set1_ps(0.5f));
    }
    // w holds columns x + 1, x + 2; wPrev columns x - 1, x.
    static Bright left(Bright /*w*/, Bright wPrev) { return wPrev; }
    static Bright centre(Bright w, Bright wPrev) { return _mm256_permute2f128_ps(wPrev, w, 0x21); }
    static Bright prime(Bright v) { return v; }
};

} // namespace

const FieldMedianRowTable& fieldMedianRows_avx2() {
    // Constant-initialised: no code of this tier runs before it is chosen.
    static constexpr FieldMedianRowTable table = FieldMedianNetwork::table<Avx2Ops8, Avx2Ops16, Avx2OpsFloat>();
    return table;
}
