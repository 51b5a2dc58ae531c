// The vectorised colour sweep on the packed layout, written once over a
// vector type V that holds the same-parity group of V::blocks consecutive
// blocks. Included only by the instruction-set files, each with its own V in
// an unnamed namespace; every V performs the same lane-wise operations in the
// same order, so all widths give bit-identical results.
#pragma once

#include "motion/IGNC_Sweep.h"
#include "motion/Sarn_MotionInternals.h"

#include <cstdint>
#include <tuple>

// V provides: Vec (a compiler vector type: + - * / work lane by lane, each
// lane rounding as the scalar operation, never contracted), blocks,
// load/store (groups 72 floats apart), set1, min, max, shiftInLow(o, c) =
// [c, o0 .. o(n-2)] and shiftInHigh(e, c) = [e1 .. e(n-1), c] over all lanes.
template <class V>
class IGNC_PackedSweeper {
    using Vec = typename V::Vec;
    static constexpr int64_t kBlock = IGNC_PackedBlockFloats;
    static constexpr int kU = 0, kV = 4, kTotalU = 8, kTotalV = 12, kIx = 16, kIy = 20, kIt = 24,
                         kStepU = 28, kStepV = 32, kOddHalf = 36;

public:
    explicit IGNC_PackedSweeper(const IGNC_SweepJob& job)
        : lambdaD_(V::set1(job.lambdaD)), lambdaS_(V::set1(job.lambdaS)),
          twoSigmaD2_(V::set1(job.twoSigmaD2)), twoSigmaS2_(V::set1(job.twoSigmaS2)),
          minusOne_(V::set1(-1.0f)), one_(V::set1(1.0f)) {}

    // Updates the parity-p groups of blocks b, b + V::blocks, ... while whole
    // vectors fit, advancing b.
    void row(float* row, const float* up, const float* down, int p, int32_t& b,
             int32_t blocks) const {
        for (; b + V::blocks <= blocks; b += V::blocks)
            step(row, up, down, p, b, blocks);
    }

private:
    Vec psi(Vec x, Vec twoSigma2) const {
        return (x + x) / (twoSigma2 + x * x);
    }
    Vec clampUnit(Vec x) const { return V::min(V::max(x, minusOne_), one_); }

    void step(float* row, const float* up, const float* down, int p, int32_t b,
              int32_t blocks) const {
        const int64_t offset = int64_t(b) * kBlock + p * kOddHalf;
        const int64_t otherOffset = int64_t(b) * kBlock + (1 - p) * kOddHalf;
        float* c = row + offset;
        const float* other = row + otherOffset;

        const Vec uTotal = V::load(c + kTotalU);
        const Vec vTotal = V::load(c + kTotalV);
        const Vec uOther = V::load(other + kTotalU);
        const Vec vOther = V::load(other + kTotalV);
        // Even groups take their left neighbours from the odd group shifted by
        // one element, odd groups their right neighbours from the even group
        // shifted the other way; the element carried in comes from the block
        // next door, or is the element itself at the image edge.
        Vec uLeft, uRight, vLeft, vRight;
        if (p == 0) {
            const float* carry = b == 0 ? c + kTotalU : row + otherOffset - kBlock + kTotalU + 3;
            uLeft = V::shiftInLow(uOther, carry[0]);
            vLeft = V::shiftInLow(vOther, carry[kTotalV - kTotalU]);
            uRight = uOther;
            vRight = vOther;
        } else {
            const int32_t next = b + V::blocks;
            const float* carry = next < blocks ? row + int64_t(next) * kBlock + kTotalU
                                               : row + int64_t(blocks - 1) * kBlock + kOddHalf + kTotalU + 3;
            uLeft = uOther;
            vLeft = vOther;
            uRight = V::shiftInHigh(uOther, carry[0]);
            vRight = V::shiftInHigh(vOther, carry[kTotalV - kTotalU]);
        }
        const Vec uUp = V::load(up + offset + kTotalU);
        const Vec vUp = V::load(up + offset + kTotalV);
        const Vec uDown = V::load(down + offset + kTotalU);
        const Vec vDown = V::load(down + offset + kTotalV);

        const Vec u = V::load(c + kU);
        const Vec v = V::load(c + kV);
        const Vec ix = V::load(c + kIx);
        const Vec iy = V::load(c + kIy);
        const Vec it = V::load(c + kIt);

        Vec du = uTotal - u;
        const Vec dv0 = vTotal - v;
        Vec r = ix * du + iy * dv0 + it;
        Vec sum = psi(uTotal - uUp, twoSigmaS2_) + psi(uTotal - uLeft, twoSigmaS2_) +
                  psi(uTotal - uDown, twoSigmaS2_) + psi(uTotal - uRight, twoSigmaS2_);
        Vec g = lambdaS_ * sum + lambdaD_ * ix * psi(r, twoSigmaD2_);
        du = clampUnit(du - V::load(c + kStepU) * g);

        r = ix * du + iy * dv0 + it;
        sum = psi(vTotal - vUp, twoSigmaS2_) + psi(vTotal - vLeft, twoSigmaS2_) + psi(vTotal - vDown, twoSigmaS2_) +
              psi(vTotal - vRight, twoSigmaS2_);
        g = lambdaS_ * sum + lambdaD_ * iy * psi(r, twoSigmaD2_);
        const Vec dv = clampUnit(dv0 - V::load(c + kStepV) * g);

        V::store(c + kTotalU, u + du);
        V::store(c + kTotalV, v + dv);
    }

    Vec lambdaD_, lambdaS_, twoSigmaD2_, twoSigmaS2_, minusOne_, one_;
};

// Rows [yBegin, yEnd) of one colour sweep, each row walked by the sweepers
// Vs in turn, widest first, so that every block is covered once.
template <class... Vs>
void IGNC_PackedSweepRows(const IGNC_SweepJob& job, int32_t yBegin, int32_t yEnd) {
    if (job.y1 - job.y0 < 2 || yBegin >= yEnd)
        return;
    const std::tuple<IGNC_PackedSweeper<Vs>...> sweepers{IGNC_PackedSweeper<Vs>(job)...};
    const int32_t columns = IGNC_Field::rowElements(job.width);
    const int32_t blocks = columns / 8;
    const int64_t rowFloats = int64_t(columns) * IGNC_Field::floatsPerElement;
    const int lastElement = (job.width - 1) & 7;
    float* field = reinterpret_cast<float*>(job.field);
    for (int32_t y = yBegin; y < yEnd; ++y) {
        float* row = field + int64_t(y) * rowFloats;
        // A missing row above or below counts as the row itself: zero
        // contribution, as the element equals itself.
        const float* up = y == job.y0 ? row : row - rowFloats;
        const float* down = y == job.y1 - 1 ? row : row + rowFloats;
        const int p = (job.colour + y) & 1;
        int32_t b = 0;
        (std::get<IGNC_PackedSweeper<Vs>>(sweepers).row(row, up, down, p, b, blocks), ...);

        if (job.width != columns) {
            // Elements past the right edge copy the last element's totals, so
            // that its right neighbour contributes nothing. Only the colour of
            // this sweep is written: the other colour's padding is what the
            // neighbouring rows (possibly in other bands) read now, and it was
            // refreshed by the previous sweep, after which the last element's
            // totals it copies have not changed.
            float* last = row + int64_t(blocks - 1) * IGNC_PackedBlockFloats;
            const float uTotal = last[IGNC_PackedIndex(lastElement, 2)];
            const float vTotal = last[IGNC_PackedIndex(lastElement, 3)];
            for (int e = lastElement + 1 + ((lastElement + 1 + p) & 1); e < 8; e += 2) {
                last[IGNC_PackedIndex(e, 2)] = uTotal;
                last[IGNC_PackedIndex(e, 3)] = vTotal;
            }
        }
    }
}
