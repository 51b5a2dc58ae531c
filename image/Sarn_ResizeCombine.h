// Vector kernels of the vertical resize pass: sum[x] = sum over k < n of
// w[k] * rows[k][x0 + x] for x < count, summed in tap order with products
// rounded separately, the same operations per column as the scalar loop; and
// the 8-bit and 16-bit stores of those sums with the integer store rule.
#pragma once

#include "parallel/ProcessorFeatures.h"

#include <cstdint>

using Sarn_ResizeCombineKernel = void (*)(const float* w, const float* const* rows, int32_t n, int32_t x0,
                                          int32_t count, float* sum);

void Sarn_ResizeCombine_avx2(const float* w, const float* const* rows, int32_t n, int32_t x0, int32_t count,
                             float* sum);
void Sarn_ResizeCombine_avx512(const float* w, const float* const* rows, int32_t n, int32_t x0, int32_t count,
                               float* sum);

using Sarn_ResizeStore8 = void (*)(const float* sum, int32_t count, uint8_t* out);
// `out` holds 16-bit values at any byte address.
using Sarn_ResizeStore16 = void (*)(const float* sum, int32_t count, uint8_t* out);

void Sarn_ResizeStore8_avx2(const float* sum, int32_t count, uint8_t* out);
void Sarn_ResizeStore16_avx2(const float* sum, int32_t count, uint8_t* out);

// The kernel for `level`, null where the scalar loop is the one to use.
inline Sarn_ResizeCombineKernel Sarn_ResizeCombineFor(SimdLevel level) {
    switch (level) {
    case SimdLevel::AVX512:
        return Sarn_ResizeCombine_avx512;
    case SimdLevel::AVX2:
        return Sarn_ResizeCombine_avx2;
    default:
        return nullptr;
    }
}

// The AVX2 stores serve the AVX-512 tier too: they are a small share of the pass.
inline Sarn_ResizeStore8 Sarn_ResizeStore8For(SimdLevel level) {
    return int(level) >= int(SimdLevel::AVX2) ? Sarn_ResizeStore8_avx2 : nullptr;
}
inline Sarn_ResizeStore16 Sarn_ResizeStore16For(SimdLevel level) {
    return int(level) >= int(SimdLevel::AVX2) ? Sarn_ResizeStore16_avx2 : nullptr;
}
