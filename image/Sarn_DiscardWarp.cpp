// The Sarn_DiscardWarp instances (three colour depths), and the scalar row
// tail of the vector kernels, compiled here with the baseline instruction set.
#include "image/Sarn_DiscardWarp.h"
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
