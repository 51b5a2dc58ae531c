// Where one destination column of a horizontal resize pass reads.
#pragma once

#include <cstdint>

struct Sarn_ResizeColumn {
    int32_t column;       // destination column
    int32_t first;        // source index of tap 0 (held at the last source column right of the start)
    int32_t weightOffset; // into the horizontal coefficient table: phase * taps
    int32_t taps;         // the phase's tap count
};
