// The horizontal weights of one resize laid out for filtering a group of
// destination columns per vector, one column per lane: every lane has its own
// first tap and phase, weights are stored tap-major (weight j of all lanes
// together). Built once per resize, read by the vector row kernels.
#pragma once

#include "image/Sarn_ResizeColumn.h"
#include "parallel/ProcessorFeatures.h"

#include <cstdint>

class Sarn_ResizeLanes {
public:
    // The padded source row must hold this many more copies of its last
    // element past the tap stride: a kernel reads whole vectors (up to two of
    // 16 floats) from each tap's window start.
    static constexpr int32_t readSlack = 32;

    // A group is 3 + taps rows of `lanes` 32-bit words: a header row, the
    // lane offsets from the group's base, the lane tap counts, then one weight
    // row per tap of the axis (zero past a lane's tap count).
    enum Row : int32_t { headerRow = 0, offsetRow = 1, tapCountRow = 2, firstWeightRow = 3 };
    enum Header : int32_t {
        baseWord = 0,      // smallest first tap of the group
        groupTapsWord = 1, // largest lane tap count
        maxOffsetWord = 2, // largest lane offset
        columnsWord = 3    // lanes holding a column (the last group may be partial)
    };

    using Kernel = void (*)(const Sarn_ResizeLanes& lanes, const float* padded, float* out);

    // Columns per vector at `level`, 0 where there is no vector kernel.
    static int32_t lanesAt(SimdLevel level);
    // Bytes the layout needs at `level` for `columns` columns (0 where there
    // is no vector kernel); includes room to align the start to 64 bytes.
    static uint64_t bytesFor(SimdLevel level, int32_t taps, int32_t columns);

    Sarn_ResizeLanes() = default;
    // Lays out columns[begin, end) (any order; each names its destination
    // column, and those are exactly begin .. end - 1) into `memory`, which
    // holds bytesFor(level, taps, end - begin). `table` is the horizontal
    // coefficient table with tap stride `taps`. Inactive without a kernel at
    // `level` or without columns.
    Sarn_ResizeLanes(SimdLevel level, const float* table, int32_t taps, const Sarn_ResizeColumn* columns,
                     int32_t begin, int32_t end, uint8_t* memory);

    bool active() const { return kernel_ != nullptr; }
    // out[begin .. end - 1] from the padded source row.
    void filter(const float* padded, float* out) const { kernel_(*this, padded, out); }

    int32_t lanes() const { return lanes_; }
    int32_t groups() const { return groups_; }
    int32_t begin() const { return begin_; }
    const int32_t* group(int32_t g) const { return words_ + int64_t(g) * groupWords_; }

private:
    Kernel kernel_ = nullptr;
    int32_t* words_ = nullptr;
    int64_t groupWords_ = 0;
    int32_t lanes_ = 0;
    int32_t groups_ = 0;
    int32_t begin_ = 0;
};

void Sarn_ResizeLanes_avx2(const Sarn_ResizeLanes& lanes, const float* padded, float* out);
void Sarn_ResizeLanes_avx512(const Sarn_ResizeLanes& lanes, const float* padded, float* out);
