// Luma error between two frames of one layout: the sum of squared differences
// of the Y plane, and PSNR from a mean squared error.
#pragma once

#include "cli/Y4mFrame.h"

#include <cstdint>

namespace cli {

// A rectangle of luma samples, right and bottom exclusive.
struct LumaRegion {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct LumaError {
    double squaredError = 0;
    int64_t samples = 0;

    void add(const Y4mFrame& a, const Y4mFrame& b);
    // Only the samples of `region` (cut to the picture).
    void add(const Y4mFrame& a, const Y4mFrame& b, LumaRegion region);
    // PSNR in dB against the peak code value (2^bits - 1); infinite when the
    // frames were equal, NaN with no samples.
    double psnr(int bitDepth) const;
};

} // namespace cli
