// Row kernels of the IGNC solver: one red-black colour sweep on the plain
// layout (scalar path) or on the packed layout (vectorised path), and the
// row-wide updates that close an iteration or merge a coarse estimate.
#pragma once

#include "motion/IGNC_Params.h"
#include "parallel/ProcessorFeatures.h"

#include <cstdint>

// Everything a sweep reads besides the field, derived once per job.
struct IGNC_SweepJob {
    IGNC_ParamsFastElem* field;
    int32_t width; // level width: rows are round8(width) elements apart
    int32_t x0, x1, y0, y1; // processing rectangle
    int32_t colour;         // updates elements with (x + y) mod 2 == colour
    float lambdaD, lambdaS;
    float twoSigmaD2, twoSigmaS2; // 2 sigma^2 of the Lorentzian denominators
    float cD, cS, omega;
};

IGNC_SweepJob IGNC_MakeSweepJob(const IGNC_Settings& settings, int32_t x0, int32_t x1,
                                int32_t y0, int32_t y1, int32_t colour);

// Rows [yBegin, yEnd) of one colour sweep.
using IGNC_SweepFunction = void (*)(const IGNC_SweepJob& job, int32_t yBegin, int32_t yEnd);

void IGNC_SweepScalarRows(const IGNC_SweepJob& job, int32_t yBegin, int32_t yEnd);

// Vectorised sweeps on the packed layout, one per instruction set; all give
// bit-identical results. Rows are whole: the columns of the rectangle are not
// consulted.
void IGNC_SweepPacked_sse2(const IGNC_SweepJob& job, int32_t yBegin, int32_t yEnd);
void IGNC_SweepPacked_avx2(const IGNC_SweepJob& job, int32_t yBegin, int32_t yEnd);
void IGNC_SweepPacked_avx512(const IGNC_SweepJob& job, int32_t yBegin, int32_t yEnd);
// The widest vectorised sweep not above `level` (SSE at the least).
IGNC_SweepFunction IGNC_PackedSweepFor(SimdLevel level);

// u += du, v += dv over rows [yBegin, yEnd) of `columns` elements.
void IGNC_AddRows(IGNC_ParamsFastElem* field, int32_t columns, int32_t yBegin, int32_t yEnd);
// Takes the coarse estimate held in du, dv where it differs from u, v by more
// than half a pixel in either component.
void IGNC_UpdateChangedRows(IGNC_ParamsFastElem* field, int32_t columns, int32_t yBegin,
                            int32_t yEnd);
