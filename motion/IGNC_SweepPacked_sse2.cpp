// The vectorised colour sweep with SSE: one block's group of four elements.
#include "motion/IGNC_PackedLanes.h"

void IGNC_SweepPacked_sse2(const IGNC_SweepJob& job, int32_t yBegin, int32_t yEnd) {
    IGNC_PackedSweepRows<PackedLanes4>(job, yBegin, yEnd);
}
