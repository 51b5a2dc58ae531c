// Coarse-to-fine motion analysis with graduated non-convexity: the IGNC
// solver runs over an image pyramid inside passes whose robust scales shrink
// geometrically from start to end values.
#pragma once

#include "host/RenderContext.h"
#include "image/HostMemory.h"
#include "image/SarnPixel.h"
#include "image/Sarn_ClearMem.h"
#include "image/Sarn_Resize.h"
#include "motion/IGNC.h"
#include "motion/IGNCParams.h"
#include "motion/IGNCParamsFastSobel.h"
#include "motion/MotionInternals.h"
#include "motion/Sarn_AnalyzeMotion.h"
#include "motion/Sarn_MotionObserver.h"
#include "motion/Sarn_Warp.h"
#include "parallel/SarnThread.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

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

    // Analyze from step 2 on, with the scales given directly.
    void AnalyzeWith(const Sarn_AnalyzeMotionSetup& setup, uint8_t* imageA, uint8_t* imageB,
                     uint8_t* pyramidA, uint8_t* pyramidB, uint8_t* warpBuffer) {
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

        if (reset_) {
            Sarn_ClearMem<Sarn_AE_Environ>(context_.inData, field_.data(),
                                           uint64_t(IGNC_Field::byteCount(width_, height_)))
                .execute();
        }
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
            AnalyzeLevel(width_, height_, 0, levelCount_, settings_, imageA_, pyramidA_, imageB_,
                         pyramidB_, warpBuffer_, setup.iterations, pass);
        }
    }

    int32_t levelCount() const { return levelCount_; }
    int32_t finestComputedLevel() const { return finestLevel_; }
    const IGNC_ParamsFastElem* field() const { return field_.as<IGNC_ParamsFastElem>(); }

private:
    using Stage = Sarn_MotionObserver::Stage;
    using ImageResize = Sarn_Resize<Sarn_AE_Environ, Image, Sarn_Resize_Funcs>;
    using MotionResize = Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_MotionOne>, Sarn_Resize_Funcs>;
    using Warp = Sarn_Warp<Sarn_AE_Environ, Image, Sarn_PixelPtr<Sarn_MotionUV>>;

    static int32_t fieldStride(int32_t width) {
        return int32_t(int64_t(IGNC_Field::rowElements(width)) * int64_t(sizeof(IGNC_ParamsFastElem)));
    }
    // One motion channel (u at byte 0 of an element, v at 4, du at 8, dv at
    // 12) of a field, resampled with value scale `scale`.
    void resizeMotion(IGNC_ParamsFastElem* from, int32_t fromChannel, int32_t fromWidth,
                      int32_t fromHeight, IGNC_ParamsFastElem* to, int32_t toChannel, int32_t toWidth,
                      int32_t toHeight, float scale) const {
        MotionResize(context_.inData, reinterpret_cast<float*>(from) + fromChannel,
                     reinterpret_cast<float*>(to) + toChannel, fromWidth, fromHeight, toWidth, toHeight,
                     fieldStride(fromWidth), fieldStride(toWidth), scale, 1.0f)
            .run();
    }

    void AnalyzeLevel(int32_t width, int32_t height, int32_t level, int32_t levels,
                      IGNC_Settings& settings, uint8_t* imageA, uint8_t* pyramidA, uint8_t* imageB,
                      uint8_t* pyramidB, uint8_t* warpBuffer, int32_t iterations, int32_t pass) {
        PF_InData* const inData = context_.inData;
        const bool computed = level >= finestLevel_;
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
            {
                Sarn_MotionStageScope timing(observer_, Stage::Pyramid);
                if (reset_)
                    Sarn_ClearMem<Sarn_AE_Environ>(inData, coarse.data(), coarse.size()).execute();
                // Motion is measured in pixels of its own level.
                resizeMotion(field, 0, width, height, coarseField, 0, w2, h2, 0.5f);
                resizeMotion(field, 1, width, height, coarseField, 1, w2, h2, 0.5f);
                ImageResize(inData, imageA, pyramidA, width, height, w2, h2, stride_, stride_, 1.0f, 1.0f).run();
                ImageResize(inData, imageB, pyramidB, width, height, w2, h2, stride_, stride_, 1.0f, 1.0f).run();
            }
            const int64_t levelBytes = int64_t(stride_) * h2;
            AnalyzeLevel(w2, h2, level + 1, levels, coarseSettings, pyramidA, pyramidA + levelBytes,
                         pyramidB, pyramidB + levelBytes, warpBuffer, iterations, pass);
            {
                Sarn_MotionStageScope timing(observer_, Stage::Pyramid);
                // Straight into u, v when there is nothing to merge with;
                // otherwise into du, dv, taken where it moved by over half a pixel.
                const bool replace = (reset_ && pass == 0) || !computed;
                const int32_t channel = replace ? 0 : 2;
                resizeMotion(coarseField, 0, w2, h2, field, channel, width, height, 2.0f);
                resizeMotion(coarseField, 1, w2, h2, field, channel + 1, width, height, 2.0f);
                if (!replace)
                    typename Solver::UpdateChangedThread(inData, columns, height, field).execute();
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
