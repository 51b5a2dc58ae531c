// AVX-512 row kernel of Sarn_ARWarp: the shared group rows over the AVX-512
// lane policy, the rest of the row by the scalar kernel.
#include "image/ColourWarpLanes_avx512.h"
#include "image/ColourWarpRows.h"

template <class Pixel, class Order>
void Sarn_ARWarpRow_avx512(const Sarn_ARWarpRow& r) {
    Sarn_ARWarpTail<Pixel, Order>(r, arWarpGroupRows<Avx512ColourWarpLanes<Pixel>, Order>(r));
}

SARN_AR_WARP_ROW_INSTANCES(Sarn_ARWarpRow_avx512)
