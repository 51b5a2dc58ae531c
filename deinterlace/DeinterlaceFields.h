// Rebuilds the missing field of one frame with the field interpolation kernel,
// in bands on the job runner.
#pragma once

#include "image/ImageView.h"
#include "parallel/AEHost.h"
#include "image/Sarn_Pixel.h"

#include <cstdint>

// Writes the rows of the rebuilt field inside `area` (coordinates of the
// output's view, see viewOfWorld) and nothing else; of the input it reads only
// the rows of the kept field. keptField 1 keeps the even rows (upper field),
// 2 the odd rows (lower field); any other value is treated as 1. An area
// reaching beyond the output's view is clipped to it. Runner exceptions
// (std::bad_alloc, Kel::Interrupted, Kel::Exception) pass through.
//
// Instances: Pixel Sarn_Pixel8, Sarn_Pixel16 or Sarn_PixelF with Order
// Sarn_OrderARGB (alpha first) or Sarn_OrderRGBA (alpha last).
template <class Pixel, class Order>
void DeinterlaceFields(AEHost& host, const ViewRect& area, const PF_EffectWorld& output,
                       const PF_EffectWorld& input, int32_t keptField);
