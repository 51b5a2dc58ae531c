// AVX2 row functions of the field kernel: eight 8-bit, four 16-bit or two
// float pixels per vector.
#include "deinterlace/FieldMedianNetwork.h"
#include "deinterlace/FieldMedianRows.h"
#include "image/SarnPixel.h"

#include <immintrin.h>

namespace {

struct Avx2Common {
    using Bright = __m256;
    static Bright less(Bright a, Bright b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static Bright lessEqual(Bright a, Bright b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
    static Bright min(Bright a, Bright b) { return _mm256_min_ps(a, b); }
    static Bright max(Bright a, Bright b) { return _mm256_max_ps(a, b); }
};

struct Avx2Integer : Avx2Common {
    using Pixels = __m256i;
    static Pixels load(const uint8_t* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    static void store(uint8_t* p, Pixels v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static Pixels select(Bright mask, Pixels ifTrue, Pixels ifFalse) {
        return _mm256_blendv_epi8(ifFalse, ifTrue, _mm256_castps_si256(mask));
    }
};

// One pixel per 32-bit lane.
template <class Order>
struct Avx2Ops8 : Avx2Integer {
    static constexpr int lanes = 8;
    static constexpr int bytesPerPixel = 4;
    static Bright brightness(Pixels v) {
        const __m256i byte = _mm256_set1_epi32(0xFF);
        const __m256i s = _mm256_add_epi32(
            _mm256_add_epi32(_mm256_and_si256(_mm256_srli_epi32(v, 8 * Order::c1), byte),
                             _mm256_and_si256(_mm256_srli_epi32(v, 8 * Order::c2), byte)),
            _mm256_and_si256(_mm256_srli_epi32(v, 8 * Order::c3), byte));
        return _mm256_cvtepi32_ps(s);
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
    static Bright brightness(Pixels v) {
        const __m256i even = _mm256_and_si256(v, _mm256_set1_epi32(0xFFFF)); // channels 0, 2
        const __m256i odd = _mm256_srli_epi32(v, 16);                         // channels 1, 3
        const __m256i pairs = _mm256_add_epi32(even, odd);                    // 0 + 1, 2 + 3
        __m256i sum;
        if constexpr (Order::alpha == 0) // 1 + (2 + 3)
            sum = _mm256_add_epi32(odd, _mm256_shuffle_epi32(pairs, _MM_SHUFFLE(2, 3, 0, 1)));
        else // (0 + 1) + 2
            sum = _mm256_add_epi32(pairs, _mm256_shuffle_epi32(even, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm256_cvtepi32_ps(_mm256_shuffle_epi32(sum, _MM_SHUFFLE(2, 2, 0, 0)));
    }
    static Pixels average(Pixels p, Pixels q) {
        return _mm256_add_epi16(_mm256_and_si256(p, q), _mm256_srli_epi16(_mm256_xor_si256(p, q), 1));
    }
};

// One pixel per 128-bit half; its brightness fills the half.
template <class Order>
struct Avx2OpsFloat : Avx2Common {
    using Pixels = __m256;
    static constexpr int lanes = 2;
    static constexpr int bytesPerPixel = 16;
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
};

} // namespace

const FieldMedianRowTable& fieldMedianRowsAvx2() {
    static const FieldMedianRowTable table{{
        FieldMedianNetwork::rows<Avx2Ops8<Sarn_OrderARGB>>,
        FieldMedianNetwork::rows<Avx2Ops16<Sarn_OrderARGB>>,
        FieldMedianNetwork::rows<Avx2OpsFloat<Sarn_OrderARGB>>,
        FieldMedianNetwork::rows<Avx2Ops8<Sarn_OrderRGBA>>,
        FieldMedianNetwork::rows<Avx2Ops16<Sarn_OrderRGBA>>,
        FieldMedianNetwork::rows<Avx2OpsFloat<Sarn_OrderRGBA>>,
    }};
    return table;
}
