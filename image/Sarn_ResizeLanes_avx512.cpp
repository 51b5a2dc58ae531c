// AVX-512 horizontal resize pass: sixteen destination columns per vector, the
// shared pass of Sarn_ResizeLaneGroup.h over AVX-512 lanes (a lane past its
// tap count by a masked add).
#include "image/Sarn_ResizeLaneGroup.h"
#include "image/Sarn_ResizeLanes.h"

#include <immintrin.h>

namespace {

// The all-lanes masked forms of permute and gather: GCC 12's unmasked ones
// start from an undefined vector and warn about it.
constexpr __mmask16 allLanes = 0xFFFF;

struct Avx512ResizeLanes {
    static constexpr int32_t lanes = 16;
    using Vec = __m512;
    using Index = __m512i;
    static Index loadIndex(const int32_t* p) { return _mm512_load_si512(p); }
    static Vec loadWeights(const float* p) { return _mm512_load_ps(p); }
    static Vec addLive(Vec sum, Vec product, Index tapCounts, int32_t j) {
        return _mm512_mask_add_ps(sum, _mm512_cmpgt_epi32_mask(tapCounts, _mm512_set1_epi32(j)), sum, product);
    }
    static auto oneVector(const float* source, Index offsets) {
        return [=](int32_t j) { return _mm512_maskz_permutexvar_ps(allLanes, offsets, _mm512_loadu_ps(source + j)); };
    }
    static auto twoVectors(const float* source, Index offsets) {
        return [=](int32_t j) {
            return _mm512_permutex2var_ps(_mm512_loadu_ps(source + j), offsets, _mm512_loadu_ps(source + j + lanes));
        };
    }
    static auto gather(const float* source, Index offsets) {
        return [=](int32_t j) {
            return _mm512_mask_i32gather_ps(_mm512_setzero_ps(), allLanes, offsets, source + j, 4);
        };
    }
    static void store(float* out, Vec sum, int32_t used) {
        _mm512_mask_storeu_ps(out, __mmask16((1u << used) - 1u), sum);
    }
};

} // namespace

void Sarn_ResizeLanes_avx512(const Sarn_ResizeLanes& layout, const float* padded, float* out) {
    Sarn_ResizeLaneRows<Avx512ResizeLanes>(layout, padded, out);
}
