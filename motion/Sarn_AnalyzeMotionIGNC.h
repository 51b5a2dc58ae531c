// Coarse-to-fine motion analysis with graduated non-convexity: the IGNC
// solver runs over an image pyramid inside passes whose robust scales shrink
// geometrically from start to end values.
#pragma once

#include "parallel/RenderContext.h"
#include "image/HostMemory.h"
#include "image/Sarn_Pixel.h"
#include "image/Sarn_ClearMem.h"
#include "image/Sarn_Resize.h"
#include "motion/Sarn_IGNC.h"
#include "motion/IGNC_Params.h"
#include "motion/IGNC_ParamsFastSobel.h"
#include "motion/Sarn_MotionInternals.h"
#include "motion/Sarn_AnalyzeMotion.h"
#include "motion/Sarn_MotionObserver.h"
#include "motion/Sarn_Warp.h"
#include "parallel/Sarn_Thread.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

// Level bookkeeping shared by all depths.
struct Sarn_MotionLevels {
    // 1 plus the number of halvings that bring coarsestScale down to 1 or less.
    static int32_t levelCount(float coarsestScale) {
        int32_t n = 1;
        for (float x = coarsestScale; x > 1.0f; x *= 0.5f)
            ++n;
        return n;
    }
    // Number of halvings that bring finestScale below 1, limited to the levels.
    static int32_t finestLevel(float finestScale, int32_t levels) {
        int32_t k = 0;
        for (float x = finestScale; x >= 1.0f; x *= 0.5f)
            ++k;
        return k < levels ? k : levels - 1;
    }
    // A coarser level is built while one is allowed and the current level is
    // at least 8 x 8.
    static bool hasCoarser(int32_t level, int32_t levels, int32_t width, int32_t height) {
        return level + 1 < levels && width >= 8 && height >= 8;
    }
    static int32_t coarser(int32_t length) { return (length + 1) / 2; }
    // The coarsest level that exists for an image of width x height.
    static int32_t coarsestExisting(int32_t width, int32_t height, int32_t levels) {
        int32_t level = 0;
        while (hasCoarser(level, levels, width, height)) {
            width = coarser(width);
            height = coarser(height);
            ++level;
        }
        return level;
    }
    // Rows that the coarser levels take in one pyramid buffer (each stored
    // right after the previous one at the same stride).
    static int64_t pyramidRows(int32_t width, int32_t height, int32_t levels) {
        int64_t rows = 0;
        for (int32_t level = 0; hasCoarser(level, levels, width, height); ++level) {
            width = coarser(width);
            height = coarser(height);
            rows += height;
        }
        return rows;
    }
};

// Everything an analysis run needs besides the images, with the robust scales
// already given as sigmas.
struct Sarn_AnalyzeMotionSetup {
    int32_t iterations;
    int32_t passes;
    float coarsestScale;
    float finestScale;
    float lambdaD, lambdaS, lambda3, omega;
    float sigmaD0, sigmaS0, sigma30;
    float sigmaD1, sigmaS1, sigma31;
};

template <class Image, class Solver>
class Sarn_AnalyzeMotionIGNC : public Sarn_AnalyzeMotion {
public:
    using Pixel = typename Image::Pixel;

    // Allocates the motion field (round8(width) x height elements). `stride`
    // is the row stride in bytes of the luminance images and of all buffers.
    Sarn_AnalyzeMotionIGNC(const RenderContext& context, int32_t width, int32_t height, int32_t stride,
                           bool reset = true, Sarn_MotionObserver* observer = nullptr)
        : context_(context), width_(width), height_(height), stride_(stride), reset_(reset),
          rect_{0, width, 0, height},
          field_(context.inData, uint64_t(IGNC_Field::byteCount(std::max(width, 0), std::max(height, 0)))),
          solver_(context.inData, context.cpuFeatures), observer_(observer) {
        settings_ = IGNC_Settings{field_.as<IGNC_ParamsFastElem>(), 0, 0, 0, 0, 0, 0, 0, width, height};
    }

    void Analyze(int32_t iterations, int32_t passes, float coarsestScale, float finestScale,
                 float lambdaD, float lambdaS, float lambda3, float tauD0, float tauS0, float tau30,
                 float tauD1, float tauS1, float tau31, float omega, uint8_t* const* imageA,
                 uint8_t* const* imageB, uint8_t* const* pyramidA, uint8_t* const* pyramidB,
                 uint8_t* const* warpBuffer) override {
        // tau = sqrt(2) sigma for the Lorentzian.
        const float s = float(1.0 / context_.inData->utils->ansi.sqrt(2.0));
        const Sarn_AnalyzeMotionSetup setup{
            iterations,        passes,            coarsestScale,     finestScale,
            lambdaD,           lambdaS,           lambda3,           omega,
            tauD0 * 255.0f * s, tauS0 * s,        tau30 * s,
            tauD1 * 255.0f * s, tauS1 * s,        tau31 * s};
        AnalyzeWith(setup, *imageA, *imageB, *pyramidA, *pyramidB, *warpBuffer);
    }

    void Notify(uint32_t) override {}

    void GetMotion(float* dstX, float* dstY) override {
        const uint8_t* start = field_.data();
        const int32_t columns = IGNC_Field::rowElements(width_);
        using Copy = typename Sarn_MotionInternals::template CopyParamToArray<Sarn_AE_Environ, IGNC_Field>;
        Copy(context_.inData, dstX, start, width_, height_, width_, columns).execute();
        Copy(context_.inData, dstY, start + sizeof(float), width_, height_, width_, columns).execute();
    }

    // Analyze from step 2 on, with the scales given directly. With planes
    // dstX and dstY (width x height floats, rows width apart) and level 0 only
    // interpolated, the last pass writes the motion straight into them instead
    // of into the field: then motionInPlanes() is true and GetMotion is not
    // needed (the field does not hold the result).
    void AnalyzeWith(const Sarn_AnalyzeMotionSetup& setup, uint8_t* imageA, uint8_t* imageB,
                     uint8_t* pyramidA, uint8_t* pyramidB, uint8_t* warpBuffer,
                     float* dstX = nullptr, float* dstY = nullptr) {
        motionInPlanes_ = false;
        sigmaD0_ = setup.sigmaD0;
        sigmaS0_ = setup.sigmaS0;
        sigma30_ = setup.sigma30;
        sigmaD1_ = setup.sigmaD1;
        sigmaS1_ = setup.sigmaS1;
        sigma31_ = setup.sigma31;
        settings_.lambdaD = setup.lambdaD;
        settings_.lambdaS = setup.lambdaS;
        settings_.lambda3 = setup.lambda3;
        settings_.omega = setup.omega;
        levelCount_ = Sarn_MotionLevels::levelCount(setup.coarsestScale);
        // Never finer than the coarsest level that exists: a small image would
        // otherwise compute no level at all and return zero motion.
        finestLevel_ = std::min(Sarn_MotionLevels::finestLevel(setup.finestScale, levelCount_),
                                Sarn_MotionLevels::coarsestExisting(width_, height_, levelCount_));
        imageA_ = imageA;
        imageB_ = imageB;
        pyramidA_ = pyramidA;
        pyramidB_ = pyramidB;
        warpBuffer_ = warpBuffer;
        if (width_ <= 0 || height_ <= 0)
            return;

        IGNC_ParamsFastElem* const field = field_.as<IGNC_ParamsFastElem>();
        if (finestLevel_ == 0)
            prepareField(field, width_, height_, Sarn_MotionLevels::hasCoarser(0, levelCount_, width_, height_));
        const int32_t passes = setup.passes;
        float sigmaD = sigmaD0_, sigmaS = sigmaS0_, sigma3 = sigma30_;
        // Per-pass factors: passes steps of these would reach the end scales.
        const float exponent = passes > 0 ? 1.0f / float(passes) : 1.0f;
        const float stepD = std::pow(sigmaD1_ / sigmaD0_, exponent);
        const float stepS = std::pow(sigmaS1_ / sigmaS0_, exponent);
        const float step3 = std::pow(sigma31_ / sigma30_, exponent);
        for (int32_t pass = 0; pass < passes; ++pass) {
            if (pass > 0) {
                sigmaD = std::max(sigmaD1_, sigmaD * stepD);
                sigmaS = std::max(sigmaS1_, sigmaS * stepS);
                sigma3 = std::max(sigma31_, sigma3 * step3);
            }
            settings_.sigmaD = sigmaD;
            settings_.sigmaS = sigmaS;
            settings_.sigma3 = sigma3;
            if (observer_ != nullptr)
                observer_->pass(pass, settings_);
            // An interpolated level 0 is read by nothing after the last pass
            // but the copy into the planes: write it there directly.
            const bool intoPlanes = dstX != nullptr && dstY != nullptr && finestLevel_ > 0 && pass == passes - 1;
            const MotionStore kept = elementStore(field, width_, 0);
            const MotionStore result = intoPlanes ? planeStore(dstX, dstY, width_) : kept;
            AnalyzeLevel(width_, height_, 0, levelCount_, settings_, kept, result, imageA_, pyramidA_, imageB_,
                         pyramidB_, warpBuffer_, setup.iterations, pass);
            motionInPlanes_ = intoPlanes;
        }
    }

    // True when the last AnalyzeWith left its result in the caller's planes.
    bool motionInPlanes() const { return motionInPlanes_; }
    int32_t levelCount() const { return levelCount_; }
    int32_t finestComputedLevel() const { return finestLevel_; }
    const IGNC_ParamsFastElem* field() const { return field_.as<IGNC_ParamsFastElem>(); }

private:
    using Stage = Sarn_MotionObserver::Stage;
    using ImageResize = Sarn_Resize<Sarn_AE_Environ, Image, Sarn_Resize_Funcs>;
    using Warp = Sarn_Warp<Sarn_AE_Environ, Image, Sarn_PixelPtr<Sarn_MotionUV>>;

    static int32_t fieldStride(int32_t width) {
        return int32_t(int64_t(IGNC_Field::rowElements(width)) * int64_t(sizeof(IGNC_ParamsFastElem)));
    }

    // Where a level keeps its motion: u and v of the solver elements, or two
    // plain float planes at a level that is only interpolated (nothing there
    // reads more than u and v, and the planes take a fraction of the memory
    // traffic).
    struct MotionStore {
        uint8_t* u;
        uint8_t* v;
        int32_t stride; // bytes between rows
        bool elements;  // 36-byte solver elements rather than float planes
    };
    // Channel pair (u, v) at `channel` 0 or (du, dv) at 2 of a field.
    static MotionStore elementStore(IGNC_ParamsFastElem* field, int32_t width, int32_t channel) {
        uint8_t* base = reinterpret_cast<uint8_t*>(reinterpret_cast<float*>(field) + channel);
        return MotionStore{base, base + sizeof(float), fieldStride(width), true};
    }
    static MotionStore planeStore(float* u, float* v, int32_t width) {
        return MotionStore{reinterpret_cast<uint8_t*>(u), reinterpret_cast<uint8_t*>(v),
                           int32_t(int64_t(width) * int64_t(sizeof(float))), false};
    }

    template <class From, class To>
    using MotionResizeOf = Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<From>, Sarn_Resize_Funcs, Sarn_PixelPtr<To>>;

    // One motion component resampled with value scale `scale`; the storage
    // only decides where the floats are read and written.
    void resizeMotion(const uint8_t* from, bool fromElements, int32_t fromStride, int32_t fromWidth,
                      int32_t fromHeight, uint8_t* to, bool toElements, int32_t toStride, int32_t toWidth,
                      int32_t toHeight, float scale) const {
        PF_InData* const inData = context_.inData;
        if (fromElements && toElements)
            MotionResizeOf<Sarn_MotionOne, Sarn_MotionOne>(inData, from, to, fromWidth, fromHeight, toWidth,
                                                           toHeight, fromStride, toStride, scale, 1.0f).run();
        else if (fromElements)
            MotionResizeOf<Sarn_MotionOne, Sarn_LumF>(inData, from, to, fromWidth, fromHeight, toWidth,
                                                      toHeight, fromStride, toStride, scale, 1.0f).run();
        else if (toElements)
            MotionResizeOf<Sarn_LumF, Sarn_MotionOne>(inData, from, to, fromWidth, fromHeight, toWidth,
                                                      toHeight, fromStride, toStride, scale, 1.0f).run();
        else
            MotionResizeOf<Sarn_LumF, Sarn_LumF>(inData, from, to, fromWidth, fromHeight, toWidth, toHeight,
                                                 fromStride, toStride, scale, 1.0f).run();
    }
    void resizeMotion(const MotionStore& from, int32_t fromWidth, int32_t fromHeight, const MotionStore& to,
                      int32_t toWidth, int32_t toHeight, float scale) const {
        resizeMotion(from.u, from.elements, from.stride, fromWidth, fromHeight, to.u, to.elements, to.stride,
                     toWidth, toHeight, scale);
        resizeMotion(from.v, from.elements, from.stride, fromWidth, fromHeight, to.v, to.elements, to.stride,
                     toWidth, toHeight, scale);
    }

    // The zero start of a computed level under the reset flag. A level with
    // a coarser one has u and v of all its elements written by the enlarged
    // coarse result before anything reads them, and the solver writes the
    // other slots first, so only the padding elements of its rows need
    // clearing; the coarsest level starts from the cleared field itself.
    void prepareField(IGNC_ParamsFastElem* field, int32_t width, int32_t height, bool hasCoarser) const {
        if (!reset_)
            return;
        const int32_t columns = IGNC_Field::rowElements(width);
        if (!hasCoarser) {
            Sarn_ClearMem<Sarn_AE_Environ>(context_.inData, field, uint64_t(IGNC_Field::byteCount(width, height)))
                .execute();
            return;
        }
        if (columns == width)
            return;
        for (int32_t y = 0; y < height; ++y)
            std::memset(static_cast<void*>(IGNC_Field::row(field, width, y) + width), 0,
                        size_t(columns - width) * sizeof(IGNC_ParamsFastElem));
    }

    // `motion` is the level's motion to shrink for the coarser level;
    // `result` receives the enlarged coarse result where it replaces the
    // motion (the same store except for an interpolated level 0 in the last
    // pass, whose result goes to the caller's planes).
    void AnalyzeLevel(int32_t width, int32_t height, int32_t level, int32_t levels,
                      IGNC_Settings& settings, const MotionStore& motion, const MotionStore& result,
                      uint8_t* imageA, uint8_t* pyramidA,
                      uint8_t* imageB, uint8_t* pyramidB, uint8_t* warpBuffer, int32_t iterations,
                      int32_t pass) {
        PF_InData* const inData = context_.inData;
        const bool computed = level >= finestLevel_;
        // Under the reset flag the first pass starts from zero motion at
        // every level: shrinking it would only write zeros where the coarse
        // level needs none (it starts cleared, or it is overwritten).
        const bool zeroMotion = reset_ && pass == 0;
        if (observer_ != nullptr)
            observer_->level(level, width, height, computed);
        IGNC_ParamsFastElem* const field = settings.field;
        const int32_t columns = IGNC_Field::rowElements(width);

        if (Sarn_MotionLevels::hasCoarser(level, levels, width, height)) {
            const int32_t w2 = Sarn_MotionLevels::coarser(width);
            const int32_t h2 = Sarn_MotionLevels::coarser(height);
            HostBuffer coarse(inData, uint64_t(IGNC_Field::byteCount(w2, h2)));
            IGNC_ParamsFastElem* const coarseField = coarse.as<IGNC_ParamsFastElem>();
            IGNC_Settings coarseSettings = settings;
            coarseSettings.field = coarseField;
            coarseSettings.sigmaS = settings.sigmaS * 0.5f;
            coarseSettings.sigma3 = settings.sigma3 * 0.5f;
            const bool coarseComputed = level + 1 >= finestLevel_;
            // An interpolated coarse level keeps u and v as two planes at the
            // start of its buffer (36 bytes per element leave room for both).
            float* const coarsePlanes = coarse.as<float>();
            const MotionStore coarseMotion =
                coarseComputed ? elementStore(coarseField, w2, 0)
                               : planeStore(coarsePlanes, coarsePlanes + int64_t(w2) * h2, w2);
            {
                Sarn_MotionStageScope timing(observer_, Stage::Pyramid);
                if (coarseComputed)
                    prepareField(coarseField, w2, h2, Sarn_MotionLevels::hasCoarser(level + 1, levels, w2, h2));
                // Motion is measured in pixels of its own level.
                if (!zeroMotion)
                    resizeMotion(motion, width, height, coarseMotion, w2, h2, 0.5f);
                ImageResize(inData, imageA, pyramidA, width, height, w2, h2, stride_, stride_, 1.0f, 1.0f).run();
                ImageResize(inData, imageB, pyramidB, width, height, w2, h2, stride_, stride_, 1.0f, 1.0f).run();
            }
            const int64_t levelBytes = int64_t(stride_) * h2;
            AnalyzeLevel(w2, h2, level + 1, levels, coarseSettings, coarseMotion, coarseMotion, pyramidA,
                         pyramidA + levelBytes, pyramidB, pyramidB + levelBytes, warpBuffer, iterations, pass);
            {
                Sarn_MotionStageScope timing(observer_, Stage::Pyramid);
                // Straight into u, v when there is nothing to merge with;
                // otherwise into du, dv, taken where it moved by over half a pixel.
                if (zeroMotion || !computed) {
                    resizeMotion(coarseMotion, w2, h2, result, width, height, 2.0f);
                } else {
                    resizeMotion(coarseMotion, w2, h2, elementStore(field, width, 2), width, height, 2.0f);
                    typename Solver::UpdateChangedThread(inData, columns, height, field).execute();
                }
            }
        }
        if (!computed)
            return;

        const Sarn_Rect area{0, width, 0, height};
        {
            Sarn_MotionStageScope timing(observer_, Stage::Warp);
            Warp(inData, imageB, warpBuffer, stride_, stride_, field, fieldStride(width), &area, &area,
                 1.0f, 1.0f, 0.0f, 0.0f, typename Warp::Sample(0))
                .execute();
        }
        settings.width = width;
        settings.rows = height;
        {
            Sarn_MotionStageScope timing(observer_, Stage::Gradients);
            solver_.gradients(settings, imageA, warpBuffer, stride_);
        }
        Sarn_MotionStageScope timing(observer_, Stage::Sweeps);
        // solve() also leaves the field unpacked (or the increments added)
        // when there are no iterations.
        solver_.solve(settings, iterations);
    }

    RenderContext context_;
    float sigmaD0_ = 0, sigmaS0_ = 0, sigma30_ = 0, sigmaD1_ = 0, sigmaS1_ = 0, sigma31_ = 0;
    int32_t width_, height_, stride_;
    int32_t finestLevel_ = 0, levelCount_ = 1;
    bool reset_;
    bool motionInPlanes_ = false;
    uint8_t* imageA_ = nullptr;
    uint8_t* imageB_ = nullptr;
    uint8_t* pyramidA_ = nullptr;
    uint8_t* pyramidB_ = nullptr;
    uint8_t* warpBuffer_ = nullptr;
    Sarn_Rect rect_;
    HostBuffer field_;
    IGNC_Settings settings_;
    Solver solver_;
    Sarn_MotionObserver* observer_;
};

template <class Image>
using Sarn_AnalyzeMotionFor =
    Sarn_AnalyzeMotionIGNC<Image, Sarn_IGNC<Sarn_AE_Environ, Image, IGNC_ParamsFastSobel>>;
using Sarn_AnalyzeMotion8 = Sarn_AnalyzeMotionFor<Sarn_PixelPtr<Sarn_Lum8>>;
using Sarn_AnalyzeMotion16 = Sarn_AnalyzeMotionFor<Sarn_PixelPtr<Sarn_Lum16>>;
using Sarn_AnalyzeMotionF = Sarn_AnalyzeMotionFor<Sarn_PixelPtr<Sarn_LumF>>;

extern template class Sarn_AnalyzeMotionIGNC<Sarn_PixelPtr<Sarn_Lum8>,
                                             Sarn_IGNC<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum8>, IGNC_ParamsFastSobel>>;
extern template class Sarn_AnalyzeMotionIGNC<Sarn_PixelPtr<Sarn_Lum16>,
                                             Sarn_IGNC<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum16>, IGNC_ParamsFastSobel>>;
extern template class Sarn_AnalyzeMotionIGNC<Sarn_PixelPtr<Sarn_LumF>,
                                             Sarn_IGNC<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>, IGNC_ParamsFastSobel>>;
