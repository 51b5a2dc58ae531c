// AVX-512 row functions of the field kernel: sixteen 8-bit, eight 16-bit or
// four float pixels per vector. Comparisons give mask registers, so every
// selection is a single masked blend.
#include "deinterlace/FieldMedianNetwork.h"
#include "deinterlace/FieldMedianRows.h"
#include "image/Sarn_Pixel.h"

// GCC 12's AVX-512 intrinsics leave the merge source of their unmasked forms
// undefined on purpose and then warn that it may be used uninitialized
// (GCC bug 105593); it never is.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

namespace {

// One pixel per 32-bit lane, its brightness (at most 765) in the same lane.
template <class Order>
struct Avx512Ops8 {
    using Pixels = __m512i;
    using Bright = __m512i;
    static constexpr int lanes = 16;
    static constexpr int bytesPerPixel = 4;
    static constexpr bool shiftsBrightness = true;

    static Pixels load(const uint8_t* p) { return _mm512_loadu_si512(p); }
    static void store(uint8_t* p, Pixels v) { _mm512_storeu_si512(p, v); }
    static __mmask16 less(Bright a, Bright b) { return _mm512_cmplt_epi32_mask(a, b); }
    static __mmask16 lessEqual(Bright a, Bright b) { return _mm512_cmple_epi32_mask(a, b); }
    static Pixels select(__mmask16 mask, Pixels ifTrue, Pixels ifFalse) {
        return _mm512_mask_blend_epi32(mask, ifFalse, ifTrue);
    }
    static Bright min(Bright a, Bright b) { return _mm512_min_epi32(a, b); }
    static Bright max(Bright a, Bright b) { return _mm512_max_epi32(a, b); }

    // Bytes times 1 for colour and 0 for alpha, added in pairs, then the pairs.
    static Bright brightness(Pixels v) {
        const __m512i weights = _mm512_set1_epi32(Order::alpha == 0 ? 0x01010100 : 0x00010101);
        return _mm512_madd_epi16(_mm512_maddubs_epi16(v, weights), _mm512_set1_epi16(1));
    }
    // The rounded-up byte average less one where the sum is odd: rounds down.
    static Pixels average(Pixels p, Pixels q) {
        return _mm512_sub_epi8(_mm512_avg_epu8(p, q),
                               _mm512_and_si512(_mm512_xor_si512(p, q), _mm512_set1_epi8(1)));
    }
    // w holds columns x + 1 .. x + 16, wPrev columns x - 15 .. x.
    static Bright centre(Bright w, Bright wPrev) { return _mm512_alignr_epi32(w, wPrev, 15); }
    static Bright left(Bright w, Bright wPrev) { return _mm512_alignr_epi32(w, wPrev, 14); }
    static Bright prime(Bright v) { return _mm512_alignr_epi32(v, v, 2); }
};

// One pixel per 64-bit lane; the brightness of the eight pixels in the 32-bit
// lanes of a half-width vector, less 3 * 32768: the multiply-add reads
// channels as signed, so they are moved down by 32768 first (exactly, by
// flipping the top bit). The offset is the same for every brightness and so
// changes no comparison.
template <class Order>
struct Avx512Ops16 {
    using Pixels = __m512i;
    using Bright = __m256i;
    static constexpr int lanes = 8;
    static constexpr int bytesPerPixel = 8;
    static constexpr bool shiftsBrightness = true;

    static Pixels load(const uint8_t* p) { return _mm512_loadu_si512(p); }
    static void store(uint8_t* p, Pixels v) { _mm512_storeu_si512(p, v); }
    static __mmask8 less(Bright a, Bright b) { return _mm256_cmplt_epi32_mask(a, b); }
    static __mmask8 lessEqual(Bright a, Bright b) { return _mm256_cmple_epi32_mask(a, b); }
    static Pixels select(__mmask8 mask, Pixels ifTrue, Pixels ifFalse) {
        return _mm512_mask_blend_epi64(mask, ifFalse, ifTrue);
    }
    static Bright min(Bright a, Bright b) { return _mm256_min_epi32(a, b); }
    static Bright max(Bright a, Bright b) { return _mm256_max_epi32(a, b); }

    static Bright brightness(Pixels v) {
        const __m512i weights = _mm512_set1_epi64(Order::alpha == 0 ? 0x0001000100010000LL
                                                                    : 0x0000000100010001LL);
        const __m512i centred = _mm512_xor_si512(v, _mm512_set1_epi16(int16_t(0x8000)));
        const __m512i pairs = _mm512_madd_epi16(centred, weights);
        return _mm512_cvtepi64_epi32(_mm512_add_epi32(pairs, _mm512_srli_epi64(pairs, 32)));
    }
    static Pixels average(Pixels p, Pixels q) {
        return _mm512_sub_epi16(_mm512_avg_epu16(p, q),
                                _mm512_and_si512(_mm512_xor_si512(p, q), _mm512_set1_epi16(1)));
    }
    // w holds columns x + 1 .. x + 8, wPrev columns x - 7 .. x.
    static Bright centre(Bright w, Bright wPrev) { return _mm256_alignr_epi32(w, wPrev, 7); }
    static Bright left(Bright w, Bright wPrev) { return _mm256_alignr_epi32(w, wPrev, 6); }
    static Bright prime(Bright v) { return _mm256_alignr_epi32(v, v, 2); }
};

// One pixel per 128-bit quarter; its brightness fills the quarter.
template <class Order>
struct Avx512OpsFloat {
    using Pixels = __m512;
    using Bright = __m512;
    static constexpr int lanes = 4;
    static constexpr int bytesPerPixel = 16;
    static constexpr bool shiftsBrightness = true;

    static Pixels load(const uint8_t* p) { return _mm512_loadu_ps(p); }
    static void store(uint8_t* p, Pixels v) { _mm512_storeu_ps(p, v); }
    static __mmask16 less(Bright a, Bright b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    static __mmask16 lessEqual(Bright a, Bright b) { return _mm512_cmp_ps_mask(a, b, _CMP_LE_OQ); }
    static Pixels select(__mmask16 mask, Pixels ifTrue, Pixels ifFalse) {
        return _mm512_mask_blend_ps(mask, ifFalse, ifTrue);
    }
    static Bright min(Bright a, Bright b) { return _mm512_min_ps(a, b); }
    static Bright max(Bright a, Bright b) { return _mm512_max_ps(a, b); }

    static Bright brightness(Pixels v) {
        constexpr int c1 = Order::c1, c2 = Order::c2, c3 = Order::c3;
        const __m512 a = _mm512_permute_ps(v, _MM_SHUFFLE(c1, c1, c1, c1));
        const __m512 b = _mm512_permute_ps(v, _MM_SHUFFLE(c2, c2, c2, c2));
        const __m512 c = _mm512_permute_ps(v, _MM_SHUFFLE(c3, c3, c3, c3));
        return _mm512_add_ps(_mm512_add_ps(a, b), c);
    }
    static Pixels average(Pixels p, Pixels q) {
        return _mm512_mul_ps(_mm512_add_ps(p, q), _mm512_set1_ps(0.5f));
    }
    // w holds columns x + 1 .. x + 4, wPrev columns x - 3 .. x.
    static Bright centre(Bright w, Bright wPrev) {
        return _mm512_castsi512_ps(
            _mm512_alignr_epi32(_mm512_castps_si512(w), _mm512_castps_si512(wPrev), 12));
    }
    static Bright left(Bright w, Bright wPrev) {
        return _mm512_castsi512_ps(
            _mm512_alignr_epi32(_mm512_castps_si512(w), _mm512_castps_si512(wPrev), 8));
    }
    static Bright prime(Bright v) {
        const __m512i i = _mm512_castps_si512(v);
        return _mm512_castsi512_ps(_mm512_alignr_epi32(i, i, 8));
    }
};

} // namespace

const FieldMedianRowTable& fieldMedianRows_avx512() {
    // Constant-initialised: no code of this tier runs before it is chosen.
    static constexpr FieldMedianRowTable table = FieldMedianNetwork::table<Avx512Ops8, Avx512Ops16, Avx512OpsFloat>();
    return table;
}
