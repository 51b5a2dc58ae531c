// AVX2 row kernel of Sarn_ARWarp: the shared group rows over the AVX2
// lane policy, the rest of the row by the scalar kernel.
#include "image/ColourWarpLanes_avx2.h"
#include "image/ColourWarpRows.h"

template <class Pixel, class Order>
void Sarn_ARWarpRow_avx2(const Sarn_ARWarpRow& r) {
    Sarn_ARWarpTail<Pixel, Order>(r, arWarpGroupRows<Avx2ColourWarpLanes<Pixel>, Order>(r));
}

template void Sarn_ARWarpRow_avx2<Sarn_Pixel8, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx2<Sarn_Pixel16, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx2<Sarn_PixelF, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx2<Sarn_Pixel8, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx2<Sarn_Pixel16, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_avx2<Sarn_PixelF, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
