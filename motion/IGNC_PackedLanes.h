// The four-lane vector of the packed sweep (one block's same-parity group),
// in plain SSE. Included only by the instruction-set files, each compiling its
// own copy with its own target flags: the unnamed namespace keeps the copies
// apart, so that no file links another file's wider instructions.
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
    static Vec add(Vec a, Vec b) { return _mm_add_ps(a, b); }
    static Vec sub(Vec a, Vec b) { return _mm_sub_ps(a, b); }
    static Vec mul(Vec a, Vec b) { return _mm_mul_ps(a, b); }
    static Vec div(Vec a, Vec b) { return _mm_div_ps(a, b); }
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

} // namespace
