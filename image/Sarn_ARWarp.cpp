// The Sarn_ARWarp instances the deinterlacer uses (three colour depths, both
// channel orders), and the scalar row tail of the vector kernels, compiled
// here with the baseline instruction set.
#include "image/Sarn_ARWarp.h"
#include "parallel/Sarn_Thread.h"

template <class Pixel, class Order>
void Sarn_ARWarpTail(const Sarn_ARWarpRow& r, int32_t x0) {
    if (x0 >= r.x1)
        return;
    Sarn_ARWarpRow rest = r;
    rest.x0 = x0;
    Sarn_ARWarpRow_scalar<Pixel, Order>(rest);
}

template void Sarn_ARWarpTail<Sarn_Pixel8, Sarn_OrderARGB>(const Sarn_ARWarpRow&, int32_t);
template void Sarn_ARWarpTail<Sarn_Pixel16, Sarn_OrderARGB>(const Sarn_ARWarpRow&, int32_t);
template void Sarn_ARWarpTail<Sarn_PixelF, Sarn_OrderARGB>(const Sarn_ARWarpRow&, int32_t);
template void Sarn_ARWarpTail<Sarn_Pixel8, Sarn_OrderRGBA>(const Sarn_ARWarpRow&, int32_t);
template void Sarn_ARWarpTail<Sarn_Pixel16, Sarn_OrderRGBA>(const Sarn_ARWarpRow&, int32_t);
template void Sarn_ARWarpTail<Sarn_PixelF, Sarn_OrderRGBA>(const Sarn_ARWarpRow&, int32_t);

template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_MotionPlanes, Sarn_OrderARGB>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_MotionPlanes, Sarn_OrderARGB>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_MotionPlanes, Sarn_OrderARGB>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_MotionPlanes, Sarn_OrderRGBA>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_MotionPlanes, Sarn_OrderRGBA>;
template class Sarn_ARWarp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_MotionPlanes, Sarn_OrderRGBA>;
