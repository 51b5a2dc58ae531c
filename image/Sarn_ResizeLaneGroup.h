// One group of a Sarn_ResizeLanes layout read back by a vector row kernel of
// `lanes` columns: the header words and where the lane rows start.
//
// Internal linkage: the AVX2 and AVX-512 kernel files each compile their own
// copy with their own instruction-set flags, so the linker can never hand the
// AVX-512 build to the AVX2 kernel.
#pragma once

#include "image/Sarn_ResizeLanes.h"

#include <cstdint>

namespace {

template <int32_t lanes>
struct Sarn_ResizeLaneGroup {
    const float* source;   // the padded row at the group's smallest first tap
    int32_t groupTaps;     // largest lane tap count
    int32_t maxOffset;     // largest lane offset from `source`
    int32_t columns;       // lanes holding a column
    const int32_t* offsets;   // `lanes` words
    const int32_t* tapCounts; // `lanes` words
    const float* weights;     // tap-major, `lanes` per tap

    Sarn_ResizeLaneGroup(const Sarn_ResizeLanes& layout, int32_t g, const float* padded) {
        const int32_t* words = layout.group(g);
        source = padded + words[Sarn_ResizeLanes::baseWord];
        groupTaps = words[Sarn_ResizeLanes::groupTapsWord];
        maxOffset = words[Sarn_ResizeLanes::maxOffsetWord];
        columns = words[Sarn_ResizeLanes::columnsWord];
        offsets = words + Sarn_ResizeLanes::offsetRow * lanes;
        tapCounts = words + Sarn_ResizeLanes::tapCountRow * lanes;
        weights = reinterpret_cast<const float*>(words + Sarn_ResizeLanes::firstWeightRow * lanes);
    }
};

} // namespace
