// Vector versions of the field kernel's inner loop over one row of the safe
// interior. Each computes the pixels from the left and returns how many it
// computed: all of them when the row holds at least one vector's worth (the
// last vector may overlap the one before), none otherwise; the caller
// finishes the row.
// `above` and `below` address the kept pixels directly above and below the
// row's first output pixel; the pixels one column left of the first and one
// column right of the last must be readable too.
#pragma once

#include "parallel/SimdTiers.h"

#include <cstdint>

using FieldMedianRowFunction = int32_t (*)(uint8_t* out, const uint8_t* above,
                                           const uint8_t* below, int32_t count);

// One entry per kernel instance.
enum FieldMedianInstance : int {
    kFieldMedian8AlphaFirst,
    kFieldMedian16AlphaFirst,
    kFieldMedianFloatAlphaFirst,
    kFieldMedian8AlphaLast,
    kFieldMedian16AlphaLast,
    kFieldMedianFloatAlphaLast,
    kFieldMedianInstanceCount
};

struct FieldMedianRowTable {
    FieldMedianRowFunction rows[kFieldMedianInstanceCount];
};

// One table per tier, in FieldMedianRows_<tier>.cpp.
const FieldMedianRowTable& fieldMedianRows_sse2();
const FieldMedianRowTable& fieldMedianRows_avx2();
const FieldMedianRowTable& fieldMedianRows_avx512();

// The instance's row function of every tier; the scalar entry is empty, as
// the kernel's own loop is the scalar version.
inline const SimdTiers<FieldMedianRowFunction>& fieldMedianRowTiers(FieldMedianInstance instance) {
    static const auto tiers = [] {
        struct All {
            SimdTiers<FieldMedianRowFunction> of[kFieldMedianInstanceCount];
        } all;
        for (int i = 0; i < kFieldMedianInstanceCount; ++i)
            all.of[i] = {nullptr, fieldMedianRows_sse2().rows[i], fieldMedianRows_avx2().rows[i],
                         fieldMedianRows_avx512().rows[i]};
        return all;
    }();
    return tiers.of[instance];
}
