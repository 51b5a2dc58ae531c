// The per-frame motion step: luminance of two colour images, the motion
// analysis from A to B at the chosen quality, the motion copied into two float
// planes and, optionally, vectors whose target colour does not match
// discarded. Also the launcher of the colour warp that uses those planes.
#pragma once

#include "parallel/RenderContext.h"
#include "image/Sarn_Pixel.h"
#include "motion/Sarn_MotionObserver.h"

#include <cstdint>

// Where luminance comes from: the weighted colour mix (ARGB and BGRA frames),
// or the Y channel of VUYA frames (read in the RGBA order, Y is channel 2).
enum class LumaSource { WeightedRGB, YChannel };

// Instances: Pixel = Sarn_Pixel8, Sarn_Pixel16 or Sarn_PixelF with Order =
// Sarn_OrderARGB or Sarn_OrderRGBA. Motion carries A onto B: the content at
// (x, y) in A lies near (x + u, y + v) in B. The planes hold width x height
// floats with rows width apart. Throws std::bad_alloc when the host has no
// memory and Kel::Interrupted on a cancel; host memory is released either way.
template <class Pixel, class Order>
void EstimateFrameMotion(const RenderContext& context, int32_t width, int32_t height,
                         const uint8_t* imageA, const uint8_t* imageB, int32_t rowBytesA,
                         int32_t rowBytesB, float* motionX, float* motionY, int32_t passes,
                         int32_t finestLevel, float discardThreshold, bool correctErrors,
                         LumaSource luma = LumaSource::WeightedRGB,
                         Sarn_MotionObserver* observer = nullptr);

// Runs Sarn_ARWarp with these fields; the motion planes are packed at the
// rectangle's width (rows 4 x (x1 - x0) bytes apart).
template <class Pixel, class Order>
void LaunchColourWarp(const RenderContext& context, const uint8_t* field, const uint8_t* source,
                      uint8_t* destination, int32_t fieldStride, int32_t sourceStride,
                      int32_t destinationStride, const float* motionX, const float* motionY,
                      const Sarn_Rect* fieldRect, const Sarn_Rect* sourceRect, const Sarn_Rect* rect,
                      float lineOffset);

// Solver settings of the motion step, the same at every depth except the
// data scale, which follows the depth's full scale.
struct EstimateFrameMotionSettings {
    static constexpr int32_t iterations = 10;
    static constexpr float coarsestScale = 16.0f;
    static constexpr float lambdaD = 10.0f;
    static constexpr float lambdaS = 1.0f;
    static constexpr float lambda3 = 1.0f;
    static constexpr float omega = 1.995f;
    static constexpr float dataSteps = 10.0f;   // luminance steps of 1/255 of full scale
    static constexpr float smoothStart = 1.0f;  // pixels
    static constexpr float smoothEnd = 0.05f;
    static constexpr float third = 1.0f;
};
