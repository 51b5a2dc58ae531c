// The IGNC solver at one pyramid level: gradients, red-black robust sweeps
// on the motion field, and the updates that close a level or merge a coarse
// estimate. The scalar path iterates increments on the plain layout; the
// vectorised path (processor feature bit "SSE") iterates the total motion on
// the packed layout.
#pragma once

#include "motion/IGNC_Params.h"
#include "motion/IGNC_Sweep.h"
#include "motion/Sarn_MotionInternals.h"
#include "parallel/JobBinding.h"
#include "parallel/Sarn_Thread.h"
#include "parallel/ProcessorFeatures.h"
#include "parallel/Sarn_SetThreadCount.h"
#include "image/Sarn_Pixel.h"

#include <cstdint>

template <class Env, class Image, class Policy>
class Sarn_IGNC {
public:
    using GradientThread = typename Policy::template GradientThread<Env, Image>;

    Sarn_IGNC(PF_InData* inData, uint32_t cpuFeatures) : inData(inData), cpuFeatures(cpuFeatures) {}

    bool vectorised() const { return (cpuFeatures & kFeatureSSE) != 0; }

    // One colour of a red-black sweep over the rows of `rect`. The path and
    // its instruction set are chosen once, when the job is built.
    class IterThread : public Env::Thread {
    public:
        IterThread(const Sarn_IGNC* solver, const IGNC_Settings* settings, const Sarn_Rect* rect,
                   int32_t colour)
            : Env::Thread(solver->inData), solver(solver), settings(settings), rect(rect),
              colour(colour),
              job_(IGNC_MakeSweepJob(*settings, rect->x0, rect->x1, rect->y0, rect->y1, colour)),
              sweep_(solver->vectorised() ? IGNC_PackedSweepFor(simdLevel()) : IGNC_SweepScalarRows) {}

        void run(int index) override {
            const BandRange band = bandRows(index, Sarn_GetThreadCount(), rect->y0, rect->y1);
            sweep_(job_, band.begin, band.end);
        }

        const Sarn_IGNC* solver;
        const IGNC_Settings* settings;
        const Sarn_Rect* rect;
        int32_t colour;

    private:
        IGNC_SweepJob job_;
        IGNC_SweepFunction sweep_;
    };

    // A band job applying a row-wide update to rows [begin, end) of a field
    // `columns` elements wide.
    template <void (*update)(IGNC_ParamsFastElem* field, int32_t columns, int32_t yBegin, int32_t yEnd)>
    class RowsThread : public Env::Thread {
    public:
        RowsThread(PF_InData* inData, int32_t columns, int32_t rows, IGNC_ParamsFastElem* field)
            : Env::Thread(inData), columns(columns), rows(rows), field(field) {}
        void run(int index) override {
            const BandRange band = bandRows(index, Sarn_GetThreadCount(), 0, rows);
            update(field, columns, band.begin, band.end);
        }
        int32_t columns;
        int32_t rows;
        IGNC_ParamsFastElem* field;
    };
    // u += du, v += dv over every element, padding included.
    using AddThread = RowsThread<IGNC_AddRows>;
    // Takes the coarse estimate in du, dv where it differs from the motion by
    // more than half a pixel.
    using UpdateChangedThread = RowsThread<IGNC_UpdateChangedRows>;

    // The level sequence around the sweeps, in the driver's order.

    // Gradients of A and the warped B (rows `stride` bytes apart) into the
    // field of `settings`.
    void gradients(const IGNC_Settings& s, const uint8_t* imageA, const uint8_t* imageB,
                   int32_t stride) const {
        GradientThread job(inData, s.field, imageA, imageB, stride, s.width, s.rows,
                           IGNC_DataCoefficient(s), IGNC_SmoothCoefficient(s), s.omega);
        job.execute();
    }

    // Clears (scalar) or seeds with the motion and packs (vectorised) the deltas.
    void beginIterations(const IGNC_Settings& s) const {
        const int64_t count = IGNC_Field::elementCount(s.width, s.rows);
        if (vectorised()) {
            typename Sarn_MotionInternals::template ResetDeltaFast<Env, Policy> reset(inData, s.field,
                                                                                      count);
            reset.execute();
            typename Sarn_MotionInternals::template PackFast<Env> pack(inData, s.field, s.width,
                                                                       s.rows);
            pack.execute();
        } else {
            typename Sarn_MotionInternals::template ResetDelta<Env, Policy> reset(inData, s.field,
                                                                                  count);
            reset.execute();
        }
    }

    // One iteration: colour 0, then colour 1 as a separate run.
    void iterate(const IGNC_Settings& s, const Sarn_Rect& rect) const {
        for (int32_t colour = 0; colour < 2; ++colour) {
            IterThread job(this, &s, &rect, colour);
            job.execute();
        }
    }

    // Unpacks the total motion (vectorised) or adds the increments (scalar).
    void endIterations(const IGNC_Settings& s) const {
        if (vectorised()) {
            typename Sarn_MotionInternals::template UnpackFast<Env> unpack(inData, s.field, s.width,
                                                                           s.rows);
            unpack.execute();
        } else {
            AddThread add(inData, IGNC_Field::rowElements(s.width), s.rows, s.field);
            add.execute();
        }
    }

    // beginIterations, `iterations` sweeps over the whole level, endIterations.
    // The field is always left in the plain layout, also for zero iterations.
    void solve(const IGNC_Settings& s, int32_t iterations) const {
        const Sarn_Rect rect{0, s.width, 0, s.rows};
        beginIterations(s);
        for (int32_t i = 0; i < iterations; ++i)
            iterate(s, rect);
        endIterations(s);
    }

    PF_InData* inData;
    uint32_t cpuFeatures;
};
