// The colour warp instances the deinterlacer uses: three colour depths, and
// for Sarn_ARWarp both channel orders.
#include "image/SarnARWarp.h"
#include "image/SarnDiscardWarp.h"
#include "parallel/SarnThread.h"

template class Sarn_DiscardWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_MotionPlanes>;
template class Sarn_DiscardWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_MotionPlanes>;
template class Sarn_DiscardWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_MotionPlanes>;

template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_MotionPlanes, Sarn_OrderARGB>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_MotionPlanes, Sarn_OrderARGB>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_MotionPlanes, Sarn_OrderARGB>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_MotionPlanes, Sarn_OrderRGBA>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_MotionPlanes, Sarn_OrderRGBA>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_MotionPlanes, Sarn_OrderRGBA>;
