// The colour warp instances the deinterlacer uses: three colour depths, and
// for Sarn_ARWarp both channel orders; and the scalar row tail of the vector
// discard kernels, compiled here with the baseline instruction set.
#include "image/SarnARWarp.h"
#include "image/SarnDiscardWarp.h"
#include "parallel/Sarn_Thread.h"

template <class Pixel>
void Sarn_DiscardWarpTail(const Sarn_DiscardWarpRow& r, int32_t x0) {
    for (int32_t x = x0; x < r.rect.x1; ++x)
        Sarn_DiscardWarpPixelScalar<Pixel>(r, x);
}

template void Sarn_DiscardWarpTail<Sarn_Pixel8>(const Sarn_DiscardWarpRow&, int32_t);
template void Sarn_DiscardWarpTail<Sarn_Pixel16>(const Sarn_DiscardWarpRow&, int32_t);
template void Sarn_DiscardWarpTail<Sarn_PixelF>(const Sarn_DiscardWarpRow&, int32_t);

template class Sarn_DiscardWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_MotionPlanes>;
template class Sarn_DiscardWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_MotionPlanes>;
template class Sarn_DiscardWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_MotionPlanes>;

template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_MotionPlanes, Sarn_OrderARGB>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_MotionPlanes, Sarn_OrderARGB>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_MotionPlanes, Sarn_OrderARGB>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_MotionPlanes, Sarn_OrderRGBA>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_MotionPlanes, Sarn_OrderRGBA>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_MotionPlanes, Sarn_OrderRGBA>;
