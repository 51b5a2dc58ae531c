// One group of a Sarn_ResizeLanes layout read back by a vector row kernel of
// `lanes` columns (the header words and where the lane rows start), and the
// horizontal pass over the whole layout, written once over a lane policy.
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

// Each lane sums its own taps in tap order, products rounded separately (no
// fused multiply-add), and a lane past its tap count keeps its sum unchanged,
// so every output equals the scalar sum bit for bit (-0.0, inf and NaN
// included). L provides lanes, Vec (a compiler vector type: * works lane by
// lane), Index, loadIndex, loadWeights, addLive(sum, product, tapCounts, j)
// (the sum where tap j is past a lane's count), the samplers of tap j of every
// lane from one vector, two vectors or a gather, and store(out, sum, used).
template <class L, class Sample>
typename L::Vec Sarn_ResizeSumTaps(const float* weights, typename L::Index tapCounts, int32_t groupTaps,
                                   Sample sample) {
    typename L::Vec sum = L::loadWeights(weights) * sample(0);
    for (int32_t j = 1; j < groupTaps; ++j)
        sum = L::addLive(sum, L::loadWeights(weights + j * L::lanes) * sample(j), tapCounts, j);
    return sum;
}

template <class L>
void Sarn_ResizeLaneRows(const Sarn_ResizeLanes& layout, const float* padded, float* out) {
    out += layout.begin();
    for (int32_t g = 0; g < layout.groups(); ++g, out += L::lanes) {
        const Sarn_ResizeLaneGroup<L::lanes> group(layout, g, padded);
        const float* source = group.source;
        const typename L::Index offsets = L::loadIndex(group.offsets);
        const typename L::Index tapCounts = L::loadIndex(group.tapCounts);
        // Tap j of every lane lies in the window source + j .. source + j +
        // maxOffset: one vector (enlarging), two (halving) or a gather.
        typename L::Vec sum;
        if (group.maxOffset < L::lanes)
            sum = Sarn_ResizeSumTaps<L>(group.weights, tapCounts, group.groupTaps, L::oneVector(source, offsets));
        else if (group.maxOffset < 2 * L::lanes)
            sum = Sarn_ResizeSumTaps<L>(group.weights, tapCounts, group.groupTaps, L::twoVectors(source, offsets));
        else
            sum = Sarn_ResizeSumTaps<L>(group.weights, tapCounts, group.groupTaps, L::gather(source, offsets));
        L::store(out, sum, group.columns);
    }
}

} // namespace
