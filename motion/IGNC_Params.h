// The motion field of the IGNC solver: nine-float elements in rows padded to
// whole blocks of 8, and the settings record that every level and job reads.
#pragma once

#include <cstdint>

// One element of the motion field. On the vectorised path du and dv hold the
// total motion u + du and v + dv while the field is packed.
struct IGNC_ParamsFastElem {
    float u, v;
    float du, dv;
    float ix, iy, it;
    float stepU, stepV;
};
static_assert(sizeof(IGNC_ParamsFastElem) == 36, "a motion element is nine packed floats");

// Geometry of a motion field of elements `Elem`: round8(width) elements per
// row, one row per image row, first element 16-byte aligned.
template <class Elem>
struct IGNC_Params {
    using Element = Elem;
    static constexpr int floatsPerElement = int(sizeof(Elem) / sizeof(float));
    static constexpr int blockElements = 8;

    static int32_t rowElements(int32_t width) { return (width + 7) & ~7; }
    static int64_t elementCount(int32_t width, int32_t rows) {
        return int64_t(rowElements(width)) * rows;
    }
    static int64_t byteCount(int32_t width, int32_t rows) {
        return elementCount(width, rows) * int64_t(sizeof(Elem));
    }
    static Elem* row(Elem* field, int32_t width, int32_t y) {
        return field + int64_t(y) * rowElements(width);
    }
};

using IGNC_Field = IGNC_Params<IGNC_ParamsFastElem>;

// Level settings. Words 8 and 9 are rewritten by each level before its jobs run.
struct IGNC_Settings {
    IGNC_ParamsFastElem* field;
    float lambdaD;
    float lambdaS;
    float lambda3; // carried for the driver, unused by the solver
    float sigmaD;
    float sigmaS;
    float sigma3; // carried for the driver, unused by the solver
    float omega;
    int32_t width;
    int32_t rows;
};

// cD = lambdaD / sigmaD^2: curvature of the data term per unit squared gradient.
inline float IGNC_DataCoefficient(const IGNC_Settings& s) { return s.lambdaD / (s.sigmaD * s.sigmaD); }
// cS = 4 lambdaS / sigmaS^2: the smoothness curvature bound over four neighbours.
inline float IGNC_SmoothCoefficient(const IGNC_Settings& s) {
    return (4.0f * s.lambdaS) / (s.sigmaS * s.sigmaS);
}
