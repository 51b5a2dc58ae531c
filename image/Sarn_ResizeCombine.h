// Vector kernels of the vertical resize pass: sum[x] = sum over k < n of
// w[k] * rows[k][x0 + x] for x < count, summed in tap order with products
// rounded separately, the same operations per column as the scalar loop; and
// the 8-bit and 16-bit stores of those sums with the integer store rule.
#pragma once

#include "parallel/SimdTiers.h"

#include <cstdint>

// Each returns the number of columns it summed (or stored) from the left; the
// caller finishes the rest with the scalar loop.
using Sarn_ResizeCombineKernel = int32_t (*)(const float* w, const float* const* rows, int32_t n, int32_t x0,
                                             int32_t count, float* sum);

int32_t Sarn_ResizeCombine_avx2(const float* w, const float* const* rows, int32_t n, int32_t x0, int32_t count,
                                float* sum);
int32_t Sarn_ResizeCombine_avx512(const float* w, const float* const* rows, int32_t n, int32_t x0, int32_t count,
                                  float* sum);

using Sarn_ResizeStore8 = int32_t (*)(const float* sum, int32_t count, uint8_t* out);
// `out` holds 16-bit values at any byte address.
using Sarn_ResizeStore16 = int32_t (*)(const float* sum, int32_t count, uint8_t* out);

int32_t Sarn_ResizeStore8_avx2(const float* sum, int32_t count, uint8_t* out);
int32_t Sarn_ResizeStore16_avx2(const float* sum, int32_t count, uint8_t* out);

// No scalar entries: the resize's own loops are the scalar version. The AVX2
// stores serve the AVX-512 tier too: they are a small share of the pass.
inline constexpr SimdTiers<Sarn_ResizeCombineKernel> Sarn_ResizeCombineTiers{nullptr, nullptr, Sarn_ResizeCombine_avx2,
                                                                             Sarn_ResizeCombine_avx512};
inline constexpr SimdTiers<Sarn_ResizeStore8> Sarn_ResizeStore8Tiers{nullptr, nullptr, Sarn_ResizeStore8_avx2, nullptr};
inline constexpr SimdTiers<Sarn_ResizeStore16> Sarn_ResizeStore16Tiers{nullptr, nullptr, Sarn_ResizeStore16_avx2,
                                                                       nullptr};
