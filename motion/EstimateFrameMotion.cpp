#include "motion/EstimateFrameMotion.h"

#include "image/HostMemory.h"
#include "image/Sarn_ARWarp.h"
#include "image/Sarn_DiscardWarp.h"
#include "image/Sarn_Lum.h"
#include "image/Sarn_LumY.h"
#include "motion/Sarn_AnalyzeMotionIGNC.h"

#include <algorithm>
#include <type_traits>

namespace {

template <class Pixel>
struct LumaOf;
template <>
struct LumaOf<Sarn_Pixel8> {
    using Type = Sarn_Lum8;
};
template <>
struct LumaOf<Sarn_Pixel16> {
    using Type = Sarn_Lum16;
};
template <>
struct LumaOf<Sarn_PixelF> {
    using Type = Sarn_LumF;
};

template <class Pixel>
constexpr float fullScaleOf() {
    if constexpr (Pixel::isFloat)
        return 1.0f;
    else
        return Pixel::fullScale;
}

template <class Pixel, class Order, class Luma>
void extractLuminance(PF_InData* inData, const uint8_t* image, int32_t rowBytes, uint8_t* luminance,
                      int32_t lumaStride, const Sarn_Rect* rect, LumaSource source) {
    const Sarn_PixelPtr<Pixel> from{const_cast<uint8_t*>(image), rowBytes};
    const Sarn_PixelPtr<Luma> to{luminance, lumaStride};
    if (source == LumaSource::YChannel)
        Sarn_LumY<Sarn_AE_Environ, Sarn_PixelPtr<Pixel>, Sarn_PixelPtr<Luma>>(inData, from, to, rect).execute();
    else
        Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Pixel>, Sarn_PixelPtr<Luma>, Order>(inData, from, to, rect).execute();
}

} // namespace

template <class Pixel, class Order>
void EstimateFrameMotion(const RenderContext& context, int32_t width, int32_t height,
                         const uint8_t* imageA, const uint8_t* imageB, int32_t rowBytesA,
                         int32_t rowBytesB, float* motionX, float* motionY, int32_t passes,
                         int32_t finestLevel, float discardThreshold, bool correctErrors,
                         LumaSource luma, Sarn_MotionObserver* observer) {
    using Luma = typename LumaOf<Pixel>::Type;
    using Settings = EstimateFrameMotionSettings;
    using Stage = Sarn_MotionObserver::Stage;
    if (width <= 0 || height <= 0)
        return;
    PF_InData* const inData = context.inData;

    const int32_t lumaStride = width * Luma::bytes;
    const uint64_t planeBytes = uint64_t(lumaStride) * uint64_t(height);
    // The coarser levels of a five-level pyramid always fit in `height` rows;
    // sized from the level walk all the same.
    const int32_t levels = Sarn_MotionLevels::levelCount(Settings::coarsestScale);
    const uint64_t pyramidBytes =
        uint64_t(lumaStride) * uint64_t(std::max<int64_t>(height, Sarn_MotionLevels::pyramidRows(width, height, levels)));
    HostBuffer lumaA(inData, planeBytes);
    HostBuffer lumaB(inData, planeBytes);
    HostBuffer pyramidA(inData, pyramidBytes);
    HostBuffer pyramidB(inData, pyramidBytes);
    HostBuffer warp(inData, planeBytes);

    const Sarn_Rect rect{0, width, 0, height};
    {
        Sarn_MotionStageScope timing(observer, Stage::Luminance);
        extractLuminance<Pixel, Order, Luma>(inData, imageA, rowBytesA, lumaA.data(), lumaStride, &rect, luma);
        extractLuminance<Pixel, Order, Luma>(inData, imageB, rowBytesB, lumaB.data(), lumaStride, &rect, luma);
    }

    Sarn_AnalyzeMotionFor<Sarn_PixelPtr<Luma>> analyser(context, width, height, lumaStride, true, observer);
    // Thresholds are tau = sqrt(2) sigma; the data threshold of ten steps of
    // 1/255 is carried to the depth's full scale, like the discard threshold.
    const float s = float(1.0 / inData->utils->ansi.sqrt(2.0));
    const float dataScale = Settings::dataSteps * fullScaleOf<Pixel>() / 255.0f * s;
    Sarn_AnalyzeMotionSetup setup{};
    setup.iterations = Settings::iterations;
    setup.passes = passes;
    setup.coarsestScale = Settings::coarsestScale;
    setup.finestScale = float(finestLevel);
    setup.lambdaD = Settings::lambdaD;
    setup.lambdaS = Settings::lambdaS;
    setup.lambda3 = Settings::lambda3;
    setup.omega = Settings::omega;
    setup.sigmaD0 = dataScale;
    setup.sigmaD1 = dataScale;
    setup.sigmaS0 = Settings::smoothStart * s;
    setup.sigmaS1 = Settings::smoothEnd * s;
    setup.sigma30 = Settings::third * s;
    setup.sigma31 = Settings::third * s;
    analyser.AnalyzeWith(setup, lumaA.data(), lumaB.data(), pyramidA.data(), pyramidB.data(), warp.data(),
                         motionX, motionY);

    if (!analyser.motionInPlanes()) {
        Sarn_MotionStageScope timing(observer, Stage::CopyOut);
        analyser.GetMotion(motionX, motionY);
    }
    if (correctErrors) {
        Sarn_MotionStageScope timing(observer, Stage::Discard);
        // B is sampled where the vector points and compared with A at the
        // pixel: the motion carries A onto B.
        Sarn_DiscardWarp<Sarn_AE_Environ, Sarn_PixelPtr<Pixel>, Sarn_MotionPlanes>(
            inData, imageB, imageA, rowBytesB, rowBytesA, reinterpret_cast<uint8_t*>(motionX),
            reinterpret_cast<uint8_t*>(motionY), int32_t(int64_t(width) * 4), &rect, 1.0f, 1.0f, 0.0f,
            0.0f, discardThreshold)
            .execute();
    }
}

template <class Pixel, class Order>
void LaunchColourWarp(const RenderContext& context, const uint8_t* field, const uint8_t* source,
                      uint8_t* destination, int32_t fieldStride, int32_t sourceStride,
                      int32_t destinationStride, const float* motionX, const float* motionY,
                      const Sarn_Rect* fieldRect, const Sarn_Rect* sourceRect, const Sarn_Rect* rect,
                      float lineOffset) {
    const int32_t motionStride = int32_t(int64_t(rect->x1 - rect->x0) * 4);
    Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Pixel>, Sarn_MotionPlanes, Order>(
        context.inData, field, source, destination, fieldStride, sourceStride, destinationStride,
        reinterpret_cast<const uint8_t*>(motionX), reinterpret_cast<const uint8_t*>(motionY),
        motionStride, fieldRect, sourceRect, rect, lineOffset)
        .execute();
}

#define VELMORA_MOTION_STEP(PIXEL, ORDER)                                                           \
    template void EstimateFrameMotion<PIXEL, ORDER>(                                                \
        const RenderContext&, int32_t, int32_t, const uint8_t*, const uint8_t*, int32_t, int32_t,   \
        float*, float*, int32_t, int32_t, float, bool, LumaSource, Sarn_MotionObserver*);           \
    template void LaunchColourWarp<PIXEL, ORDER>(const RenderContext&, const uint8_t*,              \
                                                 const uint8_t*, uint8_t*, int32_t, int32_t,        \
                                                 int32_t, const float*, const float*,               \
                                                 const Sarn_Rect*, const Sarn_Rect*,                \
                                                 const Sarn_Rect*, float);

VELMORA_MOTION_STEP(Sarn_Pixel8, Sarn_OrderARGB)
VELMORA_MOTION_STEP(Sarn_Pixel16, Sarn_OrderARGB)
VELMORA_MOTION_STEP(Sarn_PixelF, Sarn_OrderARGB)
VELMORA_MOTION_STEP(Sarn_Pixel8, Sarn_OrderRGBA)
VELMORA_MOTION_STEP(Sarn_Pixel16, Sarn_OrderRGBA)
VELMORA_MOTION_STEP(Sarn_PixelF, Sarn_OrderRGBA)
#undef VELMORA_MOTION_STEP
