// AVX-512 vertical resize sums, sixteen columns per vector; the last partial
// vector runs the same operations under a lane mask.
#include "image/Sarn_ResizeCombine.h"

#include <immintrin.h>

int32_t Sarn_ResizeCombine_avx512(const float* w, const float* const* rows, int32_t n, int32_t x0, int32_t count,
                                  float* sum) {
    for (int32_t x = 0; x < count; x += 16) {
        const __mmask16 live = count - x >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (count - x)) - 1u);
        __m512 s = _mm512_mul_ps(_mm512_set1_ps(w[0]), _mm512_maskz_loadu_ps(live, rows[0] + x0 + x));
        for (int32_t k = 1; k < n; ++k)
            s = _mm512_add_ps(s, _mm512_mul_ps(_mm512_set1_ps(w[k]), _mm512_maskz_loadu_ps(live, rows[k] + x0 + x)));
        _mm512_mask_storeu_ps(sum + x, live, s);
    }
    return count;
}
