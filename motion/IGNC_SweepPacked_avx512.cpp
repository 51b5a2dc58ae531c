// The vectorised colour sweep with AVX-512: the groups of four consecutive
// blocks per vector, the rest of a row with the same operations on eight and
// four lanes (the AVX2 and SSE vectors).
#include "motion/IGNC_PackedLanes.h"
#include "motion/IGNC_PackedSweeper.h"

// GCC 12's AVX-512 intrinsics build their unused upper lanes from a
// self-initialised variable and then warn about it at every use.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <immintrin.h>

namespace {

struct Avx512x16 {
    using Vec = __m512;
    static constexpr int blocks = 4;
    static Vec load(const float* p) {
        Vec v = _mm512_castps128_ps512(_mm_load_ps(p));
        v = _mm512_insertf32x4(v, _mm_load_ps(p + IGNC_PackedBlockFloats), 1);
        v = _mm512_insertf32x4(v, _mm_load_ps(p + 2 * IGNC_PackedBlockFloats), 2);
        return _mm512_insertf32x4(v, _mm_load_ps(p + 3 * IGNC_PackedBlockFloats), 3);
    }
    static void store(float* p, Vec v) {
        _mm_store_ps(p, _mm512_castps512_ps128(v));
        _mm_store_ps(p + IGNC_PackedBlockFloats, _mm512_extractf32x4_ps(v, 1));
        _mm_store_ps(p + 2 * IGNC_PackedBlockFloats, _mm512_extractf32x4_ps(v, 2));
        _mm_store_ps(p + 3 * IGNC_PackedBlockFloats, _mm512_extractf32x4_ps(v, 3));
    }
    static Vec set1(float x) { return _mm512_set1_ps(x); }
    static Vec min(Vec a, Vec b) { return _mm512_min_ps(a, b); }
    static Vec max(Vec a, Vec b) { return _mm512_max_ps(a, b); }
    static Vec shiftInLow(Vec o, float c) {
        const __m512i t = _mm512_castps_si512(_mm512_set1_ps(c));
        return _mm512_castsi512_ps(_mm512_alignr_epi32(_mm512_castps_si512(o), t, 15));
    }
    static Vec shiftInHigh(Vec e, float c) {
        const __m512i t = _mm512_castps_si512(_mm512_set1_ps(c));
        return _mm512_castsi512_ps(_mm512_alignr_epi32(t, _mm512_castps_si512(e), 1));
    }
};

} // namespace

void IGNC_SweepPacked_avx512(const IGNC_SweepJob& job, int32_t yBegin, int32_t yEnd) {
    IGNC_PackedSweepRows<Avx512x16, PackedLanes8, PackedLanes4>(job, yBegin, yEnd);
}
