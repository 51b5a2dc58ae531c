// SSE2 row kernel of Sarn_ARWarp: the shared group rows over the SSE2
// lane policy, the rest of the row by the scalar kernel.
#include "image/ColourWarpLanes_sse2.h"
#include "image/ColourWarpRows.h"

template <class Pixel, class Order>
void Sarn_ARWarpRow_sse2(const Sarn_ARWarpRow& r) {
    Sarn_ARWarpTail<Pixel, Order>(r, arWarpGroupRows<Sse2ColourWarpLanes<Pixel>, Order>(r));
}

template void Sarn_ARWarpRow_sse2<Sarn_Pixel8, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_sse2<Sarn_Pixel16, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_sse2<Sarn_PixelF, Sarn_OrderARGB>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_sse2<Sarn_Pixel8, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_sse2<Sarn_Pixel16, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
template void Sarn_ARWarpRow_sse2<Sarn_PixelF, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
