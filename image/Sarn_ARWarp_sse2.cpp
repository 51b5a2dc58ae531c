// SSE2 row kernel of Sarn_ARWarp: the shared group rows over the SSE2
// lane policy, the rest of the row by the scalar kernel.
#include "image/ColourWarpLanes_sse2.h"
#include "image/ColourWarpRows.h"

template <class Pixel, class Order>
void Sarn_ARWarpRow_sse2(const Sarn_ARWarpRow& r) {
    Sarn_ARWarpTail<Pixel, Order>(r, arWarpGroupRows<Sse2ColourWarpLanes<Pixel>, Order>(r));
}

SARN_AR_WARP_ROW_INSTANCES(Sarn_ARWarpRow_sse2)
