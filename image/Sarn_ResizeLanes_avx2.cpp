// AVX2 horizontal resize pass: eight destination columns per vector, the
// shared pass of Sarn_ResizeLaneGroup.h over AVX2 lanes.
#include "image/Sarn_ResizeLaneGroup.h"
#include "image/Sarn_ResizeLanes.h"

#include <immintrin.h>

namespace {

struct Avx2ResizeLanes {
    static constexpr int32_t lanes = 8;
    using Vec = __m256;
    using Index = __m256i;
    static Index loadIndex(const int32_t* p) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(p)); }
    static Vec loadWeights(const float* p) { return _mm256_load_ps(p); }
    static Vec addLive(Vec sum, Vec product, Index tapCounts, int32_t j) {
        const __m256 live = _mm256_castsi256_ps(_mm256_cmpgt_epi32(tapCounts, _mm256_set1_epi32(j)));
        return _mm256_blendv_ps(sum, _mm256_add_ps(sum, product), live);
    }
    static auto oneVector(const float* source, Index offsets) {
        return [=](int32_t j) { return _mm256_permutevar8x32_ps(_mm256_loadu_ps(source + j), offsets); };
    }
    static auto twoVectors(const float* source, Index offsets) {
        // Bit 3 of the offset, moved to the sign, picks the upper vector.
        const __m256 upper = _mm256_castsi256_ps(_mm256_slli_epi32(offsets, 28));
        return [=](int32_t j) {
            const __m256 low = _mm256_permutevar8x32_ps(_mm256_loadu_ps(source + j), offsets);
            const __m256 high = _mm256_permutevar8x32_ps(_mm256_loadu_ps(source + j + lanes), offsets);
            return _mm256_blendv_ps(low, high, upper);
        };
    }
    static auto gather(const float* source, Index offsets) {
        return [=](int32_t j) { return _mm256_i32gather_ps(source + j, offsets, 4); };
    }
    static void store(float* out, Vec sum, int32_t used) {
        if (used == lanes) {
            _mm256_storeu_ps(out, sum);
        } else {
            const __m256i store = _mm256_cmpgt_epi32(_mm256_set1_epi32(used), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
            _mm256_maskstore_ps(out, store, sum);
        }
    }
};

} // namespace

void Sarn_ResizeLanes_avx2(const Sarn_ResizeLanes& layout, const float* padded, float* out) {
    Sarn_ResizeLaneRows<Avx2ResizeLanes>(layout, padded, out);
}
