// The frame pipeline of the motion-compensated modes: walks the fields of the
// current frame and of up to two earlier frames in time order, rebuilding each
// field's missing rows by interpolation and then with colour carried along the
// motion from the previous field's reconstruction.
#pragma once

#include "image/ImageView.h"
#include "parallel/AEHost.h"
#include "parallel/RenderContext.h"

#include <cstdint>

constexpr int32_t kMostEarlierFrames = 2;

struct MotionSettings {
    int32_t earlierFrames; // 0 to kMostEarlierFrames
    int32_t passes;
    int32_t finestLevel;
    bool correctErrors;
    bool vuya; // alpha-last frames whose channels hold V, U, Y
};

// Writes the reconstruction of the current frame into `output`. Under smart
// render pre-render has counted the earlier frames, and one the host then
// cannot give clears the output to transparent black. Under legacy render the
// chain starts after the nearest earlier frame the host refuses; a check-out
// out of memory throws std::bad_alloc, a cancelled one Kel::Interrupted.
// Working storage is released on every path; allocation failures throw
// std::bad_alloc.
//
// Instances: Pixel Sarn_Pixel8, Sarn_Pixel16 or Sarn_PixelF with Order
// Sarn_OrderARGB or Sarn_OrderRGBA.
template <class Pixel, class Order>
void MotionDeinterlace(AEHost& host, const RenderContext& context, PF_ParamIndex layerIndex,
                       A_long checkoutBase, const ViewRect& renderRect, PF_EffectWorld& output,
                       PF_EffectWorld& input, int32_t fields, const MotionSettings& settings);
