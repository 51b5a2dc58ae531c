// SSE2 row kernel of Sarn_DiscardWarp: the shared group rows over the
// SSE2 lane policy, the rest of the row by the scalar kernel.
#include "image/ColourWarpLanes_sse2.h"
#include "image/ColourWarpRows.h"

template <class Pixel>
void Sarn_DiscardWarpRow_sse2(const Sarn_DiscardWarpRow& r) {
    Sarn_DiscardWarpTail<Pixel>(r, discardWarpGroupRows<Sse2ColourWarpLanes<Pixel>>(r));
}

template void Sarn_DiscardWarpRow_sse2<Sarn_Pixel8>(const Sarn_DiscardWarpRow&);
template void Sarn_DiscardWarpRow_sse2<Sarn_Pixel16>(const Sarn_DiscardWarpRow&);
template void Sarn_DiscardWarpRow_sse2<Sarn_PixelF>(const Sarn_DiscardWarpRow&);
