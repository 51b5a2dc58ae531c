// AVX-512 horizontal resize pass: sixteen destination columns per vector.
// Each lane sums its own taps in tap order, products rounded separately (no
// fused multiply-add), and a lane past its tap count keeps its sum unchanged
// (masked add), so every output equals the scalar sum bit for bit (-0.0, inf
// and NaN included).
#include "image/Sarn_ResizeLaneGroup.h"
#include "image/Sarn_ResizeLanes.h"

#include <immintrin.h>

namespace {

constexpr int32_t lanes = 16;
// The all-lanes masked forms of permute and gather: GCC 12's unmasked ones
// start from an undefined vector and warn about it.
constexpr __mmask16 allLanes = 0xFFFF;

template <class Sample>
__m512 sumTaps(const float* weights, __m512i tapCounts, int32_t groupTaps, Sample sample) {
    __m512 sum = _mm512_mul_ps(_mm512_load_ps(weights), sample(0));
    for (int32_t j = 1; j < groupTaps; ++j) {
        const __m512 product = _mm512_mul_ps(_mm512_load_ps(weights + j * lanes), sample(j));
        const __mmask16 live = _mm512_cmpgt_epi32_mask(tapCounts, _mm512_set1_epi32(j));
        sum = _mm512_mask_add_ps(sum, live, sum, product);
    }
    return sum;
}

} // namespace

void Sarn_ResizeLanes_avx512(const Sarn_ResizeLanes& layout, const float* padded, float* out) {
    out += layout.begin();
    for (int32_t g = 0; g < layout.groups(); ++g, out += lanes) {
        const Sarn_ResizeLaneGroup<lanes> group(layout, g, padded);
        const float* source = group.source;
        const int32_t groupTaps = group.groupTaps, maxOffset = group.maxOffset;
        const __m512i offsets = _mm512_load_si512(group.offsets);
        const __m512i tapCounts = _mm512_load_si512(group.tapCounts);
        const float* weights = group.weights;

        // Tap j of every lane lies in the window source + j .. source + j +
        // maxOffset: one vector (enlarging), two (halving) or a gather.
        __m512 sum;
        if (maxOffset < lanes) {
            sum = sumTaps(weights, tapCounts, groupTaps, [&](int32_t j) {
                return _mm512_maskz_permutexvar_ps(allLanes, offsets, _mm512_loadu_ps(source + j));
            });
        } else if (maxOffset < 2 * lanes) {
            sum = sumTaps(weights, tapCounts, groupTaps, [&](int32_t j) {
                return _mm512_permutex2var_ps(_mm512_loadu_ps(source + j), offsets,
                                              _mm512_loadu_ps(source + j + lanes));
            });
        } else {
            sum = sumTaps(weights, tapCounts, groupTaps,
                          [&](int32_t j) {
                              return _mm512_mask_i32gather_ps(_mm512_setzero_ps(), allLanes, offsets, source + j, 4);
                          });
        }

        const int32_t used = group.columns;
        _mm512_mask_storeu_ps(out, __mmask16((1u << used) - 1u), sum);
    }
}
