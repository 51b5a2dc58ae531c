// The vectorised colour sweep with SSE: one block's group of four elements.
#include "motion/IGNCPackedLanes4.h"

void IGNC_sweepPacked_sse2(const IGNC_SweepJob& job, int32_t yBegin, int32_t yEnd) {
    IGNC_packedSweepRows<PackedLanes4>(job, yBegin, yEnd);
}
