// Catmull-Rom sampling shared by the colour warps: the cubic in its nested
// single-precision form and the split of a sample position into cell and
// fraction.
#pragma once

#include <cstdint>

// Cubic through p0..p3 at t in [0, 1) between p1 and p2. The nesting and the
// order of every addition are part of the result (no contraction, no
// reassociation): the SIMD variants repeat exactly these operations per lane.
inline float Sarn_CubicCR(float p0, float p1, float p2, float p3, float t) {
    return 0.5f * (2.0f * p1 +
                   (p2 - p0 + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3 + (3.0f * (p1 - p2) + p3 - p0) * t) * t) *
                       t);
}

// Splits s into i = floor(s) (towards minus infinity, also below zero) and
// f = s - i, which is exact. A position that is not finite or lies beyond
// +-2^30 has no cell (false): it is outside every image, and converting it to
// an integer would be undefined.
inline bool Sarn_SplitPosition(float s, int32_t& i, float& f) {
    if (!(s >= -1073741824.0f && s < 1073741824.0f))
        return false;
    int32_t t = int32_t(s); // truncates towards zero
    if (float(t) > s)
        --t;
    i = t;
    f = s - float(t);
    return true;
}
