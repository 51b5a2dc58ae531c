// Luma error between two frames of one layout: the sum of squared differences
// of the Y plane, and PSNR from a mean squared error.
#pragma once

#include "cli/Y4mFrame.h"

#include <cstdint>

struct LumaError {
    double squaredError = 0;
    int64_t samples = 0;

    void add(const Y4mFrame& a, const Y4mFrame& b);
    // PSNR in dB against the peak code value (2^bits - 1); infinite when the
    // frames were equal, NaN with no samples.
    double psnr(int bitDepth) const;
};
