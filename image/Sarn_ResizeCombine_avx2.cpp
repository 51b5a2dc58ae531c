// AVX2 vertical resize sums, eight columns per vector; the columns past the
// last whole vector take the same operations one at a time.
#include "image/Sarn_ResizeCombine.h"

#include <immintrin.h>

void Sarn_resizeCombine_avx2(const float* w, const float* const* rows, int32_t n, int32_t x0, int32_t count,
                             float* sum) {
    int32_t x = 0;
    for (; x + 8 <= count; x += 8) {
        __m256 s = _mm256_mul_ps(_mm256_set1_ps(w[0]), _mm256_loadu_ps(rows[0] + x0 + x));
        for (int32_t k = 1; k < n; ++k)
            s = _mm256_add_ps(s, _mm256_mul_ps(_mm256_set1_ps(w[k]), _mm256_loadu_ps(rows[k] + x0 + x)));
        _mm256_storeu_ps(sum + x, s);
    }
    for (; x < count; ++x) {
        float s = w[0] * rows[0][x0 + x];
        for (int32_t k = 1; k < n; ++k)
            s += w[k] * rows[k][x0 + x];
        sum[x] = s;
    }
}
