// The four-lane vector of the packed sweep (one block's same-parity group) in
// plain SSE, and, in files built for AVX2 or more, the eight-lane vector (two
// consecutive blocks). Included only by the instruction-set files, each
// compiling its own copy with its own target flags: the unnamed namespace
// keeps the copies apart, so that no file links another file's wider
// instructions.
#pragma once

#include "motion/IGNC_PackedSweeper.h"

#include <immintrin.h>

namespace {

struct PackedLanes4 {
    using Vec = __m128;
    static constexpr int blocks = 1;
    static Vec load(const float* p) { return _mm_load_ps(p); }
    static void store(float* p, Vec v) { _mm_store_ps(p, v); }
    static Vec set1(float x) { return _mm_set1_ps(x); }
    static Vec min(Vec a, Vec b) { return _mm_min_ps(a, b); }
    static Vec max(Vec a, Vec b) { return _mm_max_ps(a, b); }
    static Vec shiftInLow(Vec o, float c) {
        const Vec t = _mm_shuffle_ps(_mm_set1_ps(c), o, _MM_SHUFFLE(0, 0, 0, 0)); // c c o0 o0
        return _mm_shuffle_ps(t, o, _MM_SHUFFLE(2, 1, 2, 0));                    // c o0 o1 o2
    }
    static Vec shiftInHigh(Vec e, float c) {
        const Vec t = _mm_shuffle_ps(e, _mm_set1_ps(c), _MM_SHUFFLE(0, 0, 3, 3)); // e3 e3 c c
        return _mm_shuffle_ps(e, t, _MM_SHUFFLE(2, 0, 2, 1));                    // e1 e2 e3 c
    }
};

#if defined(__AVX2__)
struct PackedLanes8 {
    using Vec = __m256;
    static constexpr int blocks = 2;
    static Vec load(const float* p) {
        return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_load_ps(p)),
                                    _mm_load_ps(p + IGNC_PackedBlockFloats), 1);
    }
    static void store(float* p, Vec v) {
        _mm_store_ps(p, _mm256_castps256_ps128(v));
        _mm_store_ps(p + IGNC_PackedBlockFloats, _mm256_extractf128_ps(v, 1));
    }
    static Vec set1(float x) { return _mm256_set1_ps(x); }
    static Vec min(Vec a, Vec b) { return _mm256_min_ps(a, b); }
    static Vec max(Vec a, Vec b) { return _mm256_max_ps(a, b); }
    // [c, o0 .. o6]: the 128-bit halves are shifted by alignr against
    // [.. .. .. c | o0 .. o3].
    static Vec shiftInLow(Vec o, float c) {
        const Vec t = _mm256_blend_ps(_mm256_permute2f128_ps(o, o, 0x08), _mm256_set1_ps(c), 0x08);
        return _mm256_castsi256_ps(
            _mm256_alignr_epi8(_mm256_castps_si256(o), _mm256_castps_si256(t), 12));
    }
    // [e1 .. e7, c]: against [e4 .. e7 | c .. .. ..].
    static Vec shiftInHigh(Vec e, float c) {
        const Vec t = _mm256_blend_ps(_mm256_permute2f128_ps(e, e, 0x81), _mm256_set1_ps(c), 0x10);
        return _mm256_castsi256_ps(
            _mm256_alignr_epi8(_mm256_castps_si256(t), _mm256_castps_si256(e), 4));
    }
};
#endif

} // namespace
