// AVX2 horizontal resize pass: eight destination columns per vector. Each
// lane sums its own taps in tap order, products rounded separately (no fused
// multiply-add), and a lane past its tap count keeps its sum unchanged, so
// every output equals the scalar sum bit for bit (-0.0, inf and NaN included).
#include "image/Sarn_ResizeLaneGroup.h"
#include "image/Sarn_ResizeLanes.h"

#include <immintrin.h>

namespace {

constexpr int32_t lanes = 8;

template <class Sample>
__m256 sumTaps(const float* weights, __m256i tapCounts, int32_t groupTaps, Sample sample) {
    __m256 sum = _mm256_mul_ps(_mm256_load_ps(weights), sample(0));
    for (int32_t j = 1; j < groupTaps; ++j) {
        const __m256 product = _mm256_mul_ps(_mm256_load_ps(weights + j * lanes), sample(j));
        const __m256 live = _mm256_castsi256_ps(_mm256_cmpgt_epi32(tapCounts, _mm256_set1_epi32(j)));
        sum = _mm256_blendv_ps(sum, _mm256_add_ps(sum, product), live);
    }
    return sum;
}

} // namespace

void Sarn_ResizeLanes_avx2(const Sarn_ResizeLanes& layout, const float* padded, float* out) {
    out += layout.begin();
    for (int32_t g = 0; g < layout.groups(); ++g, out += lanes) {
        const Sarn_ResizeLaneGroup<lanes> group(layout, g, padded);
        const float* source = group.source;
        const int32_t groupTaps = group.groupTaps, maxOffset = group.maxOffset;
        const __m256i offsets = _mm256_load_si256(reinterpret_cast<const __m256i*>(group.offsets));
        const __m256i tapCounts = _mm256_load_si256(reinterpret_cast<const __m256i*>(group.tapCounts));
        const float* weights = group.weights;

        // Tap j of every lane lies in the window source + j .. source + j +
        // maxOffset: one vector (enlarging), two (halving) or a gather.
        __m256 sum;
        if (maxOffset < lanes) {
            sum = sumTaps(weights, tapCounts, groupTaps, [&](int32_t j) {
                return _mm256_permutevar8x32_ps(_mm256_loadu_ps(source + j), offsets);
            });
        } else if (maxOffset < 2 * lanes) {
            // Bit 3 of the offset, moved to the sign, picks the upper vector.
            const __m256 upper = _mm256_castsi256_ps(_mm256_slli_epi32(offsets, 28));
            sum = sumTaps(weights, tapCounts, groupTaps, [&](int32_t j) {
                const __m256 low = _mm256_permutevar8x32_ps(_mm256_loadu_ps(source + j), offsets);
                const __m256 high = _mm256_permutevar8x32_ps(_mm256_loadu_ps(source + j + lanes), offsets);
                return _mm256_blendv_ps(low, high, upper);
            });
        } else {
            sum = sumTaps(weights, tapCounts, groupTaps,
                          [&](int32_t j) { return _mm256_i32gather_ps(source + j, offsets, 4); });
        }

        const int32_t used = group.columns;
        if (used == lanes) {
            _mm256_storeu_ps(out, sum);
        } else {
            const __m256i store = _mm256_cmpgt_epi32(_mm256_set1_epi32(used), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
            _mm256_maskstore_ps(out, store, sum);
        }
    }
}
