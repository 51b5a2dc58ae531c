// AVX-512 row kernel of Sarn_DiscardWarp: the shared group rows over the
// AVX-512 lane policy, the rest of the row by the scalar kernel.
#include "image/ColourWarpLanes_avx512.h"
#include "image/ColourWarpRows.h"

template <class Pixel>
void Sarn_DiscardWarpRow_avx512(const Sarn_DiscardWarpRow& r) {
    Sarn_DiscardWarpTail<Pixel>(r, discardWarpGroupRows<Avx512ColourWarpLanes<Pixel>>(r));
}

SARN_DISCARD_WARP_ROW_INSTANCES(Sarn_DiscardWarpRow_avx512)
