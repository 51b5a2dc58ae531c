// How every SIMD kernel family picks its version: a table with one entry per
// tier, filled once, read at each use through simdLevel(), so that a limit a
// test sets takes effect at the next call; reading it costs one atomic load
// and a few comparisons, and the table is never written after it is built.
//
// Row tails, the same rule in every family: vector code covers the row from
// the left in whole vectors (the last may overlap the one before it, or run
// under a lane mask where the instruction set stores by mask) and reports the
// column where it stopped; scalar code, compiled without any tier's flags,
// finishes the row from there. (The packed IGNC rows are padded to whole
// blocks and have no tail.)
#pragma once

#include "parallel/ProcessorFeatures.h"

template <class T>
struct SimdTiers {
    // Empty (T{}) where the family has no version of its own at that tier.
    T scalar{}, sse2{}, avx2{}, avx512{};

    // The highest tier at or below `level` that has a version; the scalar
    // entry (possibly empty: the caller's plain loop) when none has.
    T at(SimdLevel level) const {
        const T byTier[] = {scalar, sse2, avx2, avx512};
        for (int tier = int(level); tier > 0; --tier)
            if (byTier[tier] != T{})
                return byTier[tier];
        return scalar;
    }
    T current() const { return at(simdLevel()); }
};
