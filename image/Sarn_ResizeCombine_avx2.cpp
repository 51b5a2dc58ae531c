// AVX2 vertical resize sums, eight columns per vector, and their integer
// stores; the columns past the last whole vector are left to the caller.
#include "image/Sarn_ResizeCombine.h"

#include <immintrin.h>

int32_t Sarn_ResizeCombine_avx2(const float* w, const float* const* rows, int32_t n, int32_t x0, int32_t count,
                                float* sum) {
    int32_t x = 0;
    for (; x + 8 <= count; x += 8) {
        __m256 s = _mm256_mul_ps(_mm256_set1_ps(w[0]), _mm256_loadu_ps(rows[0] + x0 + x));
        for (int32_t k = 1; k < n; ++k)
            s = _mm256_add_ps(s, _mm256_mul_ps(_mm256_set1_ps(w[k]), _mm256_loadu_ps(rows[k] + x0 + x)));
        _mm256_storeu_ps(sum + x, s);
    }
    return x;
}

namespace {

// The integer store rule on eight sums: 0 at or below 0, full scale at or
// above it, otherwise the integer part of v + 0.5 (truncation, as the scalar
// conversion). A NaN converts to 0x80000000 in both, which stores as 0.
template <int Max>
__m128i storeRule(const float* sum) {
    const __m256 v = _mm256_loadu_ps(sum);
    __m256i r = _mm256_cvttps_epi32(_mm256_add_ps(v, _mm256_set1_ps(0.5f)));
    r = _mm256_castps_si256(_mm256_blendv_ps(_mm256_castsi256_ps(r), _mm256_setzero_ps(),
                                             _mm256_cmp_ps(v, _mm256_setzero_ps(), _CMP_LE_OQ)));
    r = _mm256_castps_si256(_mm256_blendv_ps(_mm256_castsi256_ps(r), _mm256_castsi256_ps(_mm256_set1_epi32(Max)),
                                             _mm256_cmp_ps(v, _mm256_set1_ps(float(Max)), _CMP_GE_OQ)));
    // Unsigned saturation keeps 0 .. Max and turns 0x80000000 into 0.
    return _mm_packus_epi32(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1));
}

} // namespace

int32_t Sarn_ResizeStore8_avx2(const float* sum, int32_t count, uint8_t* out) {
    int32_t x = 0;
    for (; x + 8 <= count; x += 8) {
        const __m128i words = storeRule<255>(sum + x);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(words, words));
    }
    return x;
}

int32_t Sarn_ResizeStore16_avx2(const float* sum, int32_t count, uint8_t* out) {
    int32_t x = 0;
    for (; x + 8 <= count; x += 8)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + int64_t(x) * 2), storeRule<32768>(sum + x));
    return x;
}
