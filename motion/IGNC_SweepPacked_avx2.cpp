// The vectorised colour sweep with AVX2: the groups of two consecutive blocks
// per vector, the last odd block with the same operations on four lanes.
#include "motion/IGNC_PackedLanes.h"
#include "motion/IGNC_PackedSweeper.h"

void IGNC_SweepPacked_avx2(const IGNC_SweepJob& job, int32_t yBegin, int32_t yEnd) {
    IGNC_PackedSweepRows<PackedLanes8, PackedLanes4>(job, yBegin, yEnd);
}
