#include "motion/IGNC_Sweep.h"
#include "parallel/SimdTiers.h"

#include <algorithm>

namespace {

// Lorentzian influence psi(x, sigma) = 2x / (2 sigma^2 + x^2).
inline float psi(float x, float twoSigma2) { return (x + x) / (twoSigma2 + x * x); }

inline float clampUnit(float x) { return std::min(std::max(x, -1.0f), 1.0f); }

} // namespace

IGNC_SweepJob IGNC_MakeSweepJob(const IGNC_Settings& s, int32_t x0, int32_t x1, int32_t y0,
                                int32_t y1, int32_t colour) {
    IGNC_SweepJob job;
    job.field = s.field;
    job.width = s.width;
    job.x0 = x0;
    job.x1 = x1;
    job.y0 = y0;
    job.y1 = y1;
    job.colour = colour;
    job.lambdaD = s.lambdaD;
    job.lambdaS = s.lambdaS;
    job.twoSigmaD2 = 2.0f * (s.sigmaD * s.sigmaD);
    job.twoSigmaS2 = 2.0f * (s.sigmaS * s.sigmaS);
    job.cD = IGNC_DataCoefficient(s);
    job.cS = IGNC_SmoothCoefficient(s);
    job.omega = s.omega;
    return job;
}

// Plain layout: du, dv are the increments; a neighbour's total motion is its
// u + du. Border elements drop the data term, use the smoothness bound alone
// and omit neighbours outside the rectangle.
void IGNC_SweepScalarRows(const IGNC_SweepJob& job, int32_t yBegin, int32_t yEnd) {
    const int64_t stride = IGNC_Field::rowElements(job.width);
    const float borderStep = job.omega / job.cS;
    for (int32_t y = yBegin; y < yEnd; ++y) {
        IGNC_ParamsFastElem* row = job.field + int64_t(y) * stride;
        const bool top = y == job.y0;
        const bool bottom = y == job.y1 - 1;
        int32_t x = job.x0 + (((job.x0 + y) & 1) != job.colour ? 1 : 0);
        for (; x < job.x1; x += 2) {
            IGNC_ParamsFastElem& e = row[x];
            const IGNC_ParamsFastElem* up = top ? nullptr : &row[x - stride];
            const IGNC_ParamsFastElem* left = x == job.x0 ? nullptr : &row[x - 1];
            const IGNC_ParamsFastElem* down = bottom ? nullptr : &row[x + stride];
            const IGNC_ParamsFastElem* right = x == job.x1 - 1 ? nullptr : &row[x + 1];
            const bool interior = up && left && down && right;

            const float uTotal = e.u + e.du;
            float du = e.du;
            float dv = e.dv;
            float g;
            if (interior) {
                const float tU = job.cD * (e.ix * e.ix) + job.cS;
                const float r = (e.ix * du + e.iy * dv) + e.it;
                const float sum = ((psi(uTotal - (up->u + up->du), job.twoSigmaS2) +
                                    psi(uTotal - (left->u + left->du), job.twoSigmaS2)) +
                                   psi(uTotal - (down->u + down->du), job.twoSigmaS2)) +
                                  psi(uTotal - (right->u + right->du), job.twoSigmaS2);
                g = job.lambdaS * sum + (job.lambdaD * e.ix) * psi(r, job.twoSigmaD2);
                du = clampUnit(du - (job.omega / tU) * g);

                const float tV = job.cD * (e.iy * e.iy) + job.cS;
                const float vTotal = e.v + dv;
                const float r2 = (e.ix * du + e.iy * dv) + e.it;
                const float sumV = ((psi(vTotal - (up->v + up->dv), job.twoSigmaS2) +
                                     psi(vTotal - (left->v + left->dv), job.twoSigmaS2)) +
                                    psi(vTotal - (down->v + down->dv), job.twoSigmaS2)) +
                                   psi(vTotal - (right->v + right->dv), job.twoSigmaS2);
                g = job.lambdaS * sumV + (job.lambdaD * e.iy) * psi(r2, job.twoSigmaD2);
                dv = clampUnit(dv - (job.omega / tV) * g);
            } else {
                const IGNC_ParamsFastElem* neighbours[4] = {up, left, down, right};
                float sum = 0.0f;
                for (const IGNC_ParamsFastElem* n : neighbours)
                    if (n)
                        sum = sum + psi(uTotal - (n->u + n->du), job.twoSigmaS2);
                du = clampUnit(du - borderStep * (job.lambdaS * sum));

                const float vTotal = e.v + dv;
                float sumV = 0.0f;
                for (const IGNC_ParamsFastElem* n : neighbours)
                    if (n)
                        sumV = sumV + psi(vTotal - (n->v + n->dv), job.twoSigmaS2);
                dv = clampUnit(dv - borderStep * (job.lambdaS * sumV));
            }
            e.du = du;
            e.dv = dv;
        }
    }
}

IGNC_SweepFunction IGNC_PackedSweepFor(SimdLevel level) {
    // The packed layout is taken only with the processor's SSE: its SSE sweep
    // stands in for the scalar tier too.
    static constexpr SimdTiers<IGNC_SweepFunction> sweeps{IGNC_SweepPacked_sse2, IGNC_SweepPacked_sse2,
                                                          IGNC_SweepPacked_avx2, IGNC_SweepPacked_avx512};
    return sweeps.at(level);
}

void IGNC_AddRows(IGNC_ParamsFastElem* field, int32_t columns, int32_t yBegin, int32_t yEnd) {
    for (int64_t i = int64_t(yBegin) * columns, end = int64_t(yEnd) * columns; i < end; ++i) {
        field[i].u = field[i].u + field[i].du;
        field[i].v = field[i].v + field[i].dv;
    }
}

void IGNC_UpdateChangedRows(IGNC_ParamsFastElem* field, int32_t columns, int32_t yBegin,
                            int32_t yEnd) {
    for (int64_t i = int64_t(yBegin) * columns, end = int64_t(yEnd) * columns; i < end; ++i) {
        IGNC_ParamsFastElem& e = field[i];
        // Differences in double: exact, so a gap of exactly 0.5 keeps the motion.
        const double du = double(e.u) - double(e.du);
        const double dv = double(e.v) - double(e.dv);
        if (du > 0.5 || du < -0.5 || dv > 0.5 || dv < -0.5) {
            e.u = e.du;
            e.v = e.dv;
        }
    }
}
