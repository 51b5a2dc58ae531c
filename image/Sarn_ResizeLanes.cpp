#include "image/Sarn_ResizeLanes.h"
#include "parallel/SimdTiers.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr uint64_t layoutAlignment = 64;

int64_t groupWordsOf(int32_t lanes, int32_t taps) { return int64_t(Sarn_ResizeLanes::firstWeightRow + taps) * lanes; }
} // namespace

namespace {
// The vector kernel of each tier and its columns per vector; none below AVX2.
struct LaneKernel {
    Sarn_ResizeLanes::Kernel kernel;
    int32_t lanes;
    constexpr bool operator==(const LaneKernel&) const = default;
};
constexpr SimdTiers<LaneKernel> laneKernels{{}, {}, {Sarn_ResizeLanes_avx2, 8}, {Sarn_ResizeLanes_avx512, 16}};
} // namespace

int32_t Sarn_ResizeLanes::lanesAt(SimdLevel level) { return laneKernels.at(level).lanes; }

uint64_t Sarn_ResizeLanes::bytesFor(SimdLevel level, int32_t taps, int32_t columns) {
    const int32_t lanes = lanesAt(level);
    if (lanes == 0 || columns <= 0)
        return 0;
    const uint64_t groups = (uint64_t(columns) + uint64_t(lanes) - 1) / uint64_t(lanes);
    return groups * uint64_t(groupWordsOf(lanes, taps)) * sizeof(int32_t) + layoutAlignment;
}

Sarn_ResizeLanes::Sarn_ResizeLanes(SimdLevel level, const float* table, int32_t taps,
                                   const Sarn_ResizeColumn* columns, int32_t begin, int32_t end,
                                   uint8_t* memory) {
    const int32_t lanes = lanesAt(level);
    if (lanes == 0 || begin >= end)
        return;
    const uintptr_t address = reinterpret_cast<uintptr_t>(memory);
    words_ = reinterpret_cast<int32_t*>(memory + ((layoutAlignment - address % layoutAlignment) % layoutAlignment));
    lanes_ = lanes;
    begin_ = begin;
    groups_ = (end - begin + lanes - 1) / lanes;
    groupWords_ = groupWordsOf(lanes, taps);
    // Zero weights past each lane's tap count; unused lanes of the last group
    // read the base with one tap and are never stored.
    std::memset(words_, 0, size_t(groups_) * size_t(groupWords_) * sizeof(int32_t));

    for (int32_t k = begin; k < end; ++k) {
        const Sarn_ResizeColumn& c = columns[k];
        const int32_t relative = c.column - begin;
        const int32_t lane = relative % lanes;
        int32_t* words = words_ + int64_t(relative / lanes) * groupWords_;
        words[offsetRow * lanes + lane] = c.first;
        words[tapCountRow * lanes + lane] = c.taps;
        float* weights = reinterpret_cast<float*>(words + firstWeightRow * lanes);
        for (int32_t j = 0; j < c.taps; ++j)
            weights[j * lanes + lane] = table[c.weightOffset + j];
    }
    for (int32_t g = 0; g < groups_; ++g) {
        int32_t* words = words_ + int64_t(g) * groupWords_;
        int32_t* offsets = words + offsetRow * lanes;
        int32_t* tapCounts = words + tapCountRow * lanes;
        const int32_t used = std::min(lanes, end - begin - g * lanes);
        const int32_t base = *std::min_element(offsets, offsets + used);
        int32_t groupTaps = 1;
        int32_t maxOffset = 0;
        for (int32_t lane = 0; lane < lanes; ++lane) {
            if (lane < used) {
                offsets[lane] -= base;
                groupTaps = std::max(groupTaps, tapCounts[lane]);
                maxOffset = std::max(maxOffset, offsets[lane]);
            } else {
                offsets[lane] = 0;
                tapCounts[lane] = 1;
            }
        }
        words[baseWord] = base;
        words[groupTapsWord] = groupTaps;
        words[maxOffsetWord] = maxOffset;
        words[columnsWord] = used;
    }
    kernel_ = laneKernels.at(level).kernel;
}
