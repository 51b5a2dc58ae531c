// Vector kernels of the vertical resize pass: sum[x] = sum over k < n of
// w[k] * rows[k][x0 + x] for x < count, summed in tap order with products
// rounded separately, the same operations per column as the scalar loop.
#pragma once

#include "parallel/ProcessorFeatures.h"

#include <cstdint>

using Sarn_ResizeCombineKernel = void (*)(const float* w, const float* const* rows, int32_t n, int32_t x0,
                                          int32_t count, float* sum);

void Sarn_resizeCombine_avx2(const float* w, const float* const* rows, int32_t n, int32_t x0, int32_t count,
                             float* sum);
void Sarn_resizeCombine_avx512(const float* w, const float* const* rows, int32_t n, int32_t x0, int32_t count,
                               float* sum);

// The kernel for `level`, null where the scalar loop is the one to use.
inline Sarn_ResizeCombineKernel Sarn_resizeCombineFor(SimdLevel level) {
    switch (level) {
    case SimdLevel::AVX512:
        return Sarn_resizeCombine_avx512;
    case SimdLevel::AVX2:
        return Sarn_resizeCombine_avx2;
    default:
        return nullptr;
    }
}
