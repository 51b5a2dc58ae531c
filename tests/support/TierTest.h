// Tier tests: a kernel run at the scalar tier and at every SIMD tier this
// processor has, the whole outputs compared byte for byte.
#pragma once

#include "tests/support/Scopes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Runs `run()` (the kernel's whole output as bytes, margins included) with
// the SIMD tier capped at each of `tiers` in turn and expects every result
// equal to the first one's (the scalar tier unless the caller says else).
// Returns false, after one failure naming the tier and the first differing
// byte, when a tier differs.
template <class Run>
bool expectTiersMatchFirst(Run&& run, const std::string& what,
                           const std::vector<SimdLevel>& tiers = runnableSimdTiers()) {
    std::vector<uint8_t> first;
    for (size_t i = 0; i < tiers.size(); ++i) {
        const SimdLimitScope limit(tiers[i]);
        std::vector<uint8_t> got = run();
        if (i == 0) {
            first = std::move(got);
            continue;
        }
        if (got != first) {
            size_t at = 0;
            while (at < got.size() && at < first.size() && got[at] == first[at])
                ++at;
            ADD_FAILURE() << what << ": tier " << int(tiers[i]) << " differs from tier " << int(tiers[0])
                          << " at byte " << at << " of " << first.size();
            return false;
        }
    }
    return true;
}

// Every aligned float that is a NaN becomes the default NaN 0xFFC00000: where
// two NaNs meet, which payload survives depends on the operand order the
// compiler chose, not on the kernel.
inline void canonicalNaNs(std::vector<uint8_t>& bytes) {
    const uint32_t defaultNaN = 0xFFC00000u;
    for (size_t at = 0; at + 4 <= bytes.size(); at += 4) {
        float v;
        std::memcpy(&v, bytes.data() + at, 4);
        if (v != v)
            std::memcpy(bytes.data() + at, &defaultNaN, 4);
    }
}
