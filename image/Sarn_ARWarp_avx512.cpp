// AVX-512 row kernel of Sarn_ARWarp: the shared group rows over the AVX-512
// lane policy, the rest of the row by the scalar kernel.
#include "image/ColourWarpLanes_avx512.h"
#include "image/ColourWarpRows.h"

template <class Pixel, class Order>
void Sarn_ARWarpRow_avx512(const Sarn_ARWarpRow& r) {
    Sarn_ARWarpTail<Pixel, Order>(r, arWarpGroupRows<Avx512ColourWarpLanes<Pixel>, Order>(r));
}

template void Sarn_ARWarpRow_avx512<Sarn_Pixel8, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx512<Sarn_Pixel16, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx512<Sarn_PixelF, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx512<Sarn_Pixel8, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx512<Sarn_Pixel16, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx512<Sarn_PixelF, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
