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

            // The smoothness sum of one component (u or v) about `total`, over
            // the four neighbours of an interior element or those present at
            // the border.
            using E = IGNC_ParamsFastElem;
            using Component = float E::*;
            auto interiorSum = [&](float total, Component value, Component change) {
                return ((psi(total - (up->*value + up->*change), job.twoSigmaS2) +
                         psi(total - (left->*value + left->*change), job.twoSigmaS2)) +
                        psi(total - (down->*value + down->*change), job.twoSigmaS2)) +
                       psi(total - (right->*value + right->*change), job.twoSigmaS2);
            };
            auto borderSum = [&](float total, Component value, Component change) {
                const E* neighbours[4] = {up, left, down, right};
                float sum = 0.0f;
                for (const E* n : neighbours)
                    if (n)
                        sum = sum + psi(total - (n->*value + n->*change), job.twoSigmaS2);
                return sum;
            };
            // One interior step of an increment whose gradient is `gradient`.
            auto interiorStep = [&](float increment, float gradient, float sum, float residual) {
                const float t = job.cD * (gradient * gradient) + job.cS;
                const float g = job.lambdaS * sum + (job.lambdaD * gradient) * psi(residual, job.twoSigmaD2);
                return clampUnit(increment - (job.omega / t) * g);
            };

            const float uTotal = e.u + e.du;
            float du = e.du;
            float dv = e.dv;
            if (interior) {
                const float r = (e.ix * du + e.iy * dv) + e.it;
                du = interiorStep(du, e.ix, interiorSum(uTotal, &E::u, &E::du), r);
                const float vTotal = e.v + dv;
                const float r2 = (e.ix * du + e.iy * dv) + e.it;
                dv = interiorStep(dv, e.iy, interiorSum(vTotal, &E::v, &E::dv), r2);
            } else {
                const float sum = borderSum(uTotal, &E::u, &E::du);
                du = clampUnit(du - borderStep * (job.lambdaS * sum));
                const float vTotal = e.v + dv;
                const float sumV = borderSum(vTotal, &E::v, &E::dv);
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
