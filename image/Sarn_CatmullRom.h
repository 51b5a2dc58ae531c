// Catmull-Rom sampling: the cubic in its two evaluation orders, and the split
// of a sample position into cell and fraction. The two orders round
// differently, and each result is fixed to the bit: the colour warps use the
// nested form, the luminance warp the sum of powers.
#pragma once

#include <cstdint>

// Cubic through p0..p3 at t in [0, 1) between p1 and p2. The nesting and the
// order of every addition are part of the result (no contraction, no
// reassociation): the SIMD variants repeat exactly these operations per lane.
inline float Sarn_CatmullRomNested(float p0, float p1, float p2, float p3, float t) {
    return 0.5f * (2.0f * p1 +
                   (p2 - p0 + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3 + (3.0f * (p1 - p2) + p3 - p0) * t) * t) *
                       t);
}

// The same cubic as a sum of powers of t, for floats and for vector types
// whose operators work lane by lane, with the same operations in the same order.
template <class T>
inline T Sarn_CatmullRomPowers(T p0, T p1, T p2, T p3, T t) {
    const T t2 = t * t;
    const T t3 = t2 * t;
    return 0.5f * (2.0f * p1 + (p2 - p0) * t + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * t2 +
                   (3.0f * (p1 - p2) + p3 - p0) * t3);
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
