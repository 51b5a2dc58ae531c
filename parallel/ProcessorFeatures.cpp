#include "parallel/ProcessorFeatures.h"

#include "parallel/platform/PlatformCpu.h"

#include <atomic>

uint32_t decodeProcessorFeatures(uint32_t standardEdx, uint32_t standardEcx, uint32_t extendedEdx,
                                 bool osExecutesSse) {
    auto bit = [](uint32_t word, int n) { return ((word >> n) & 1u) != 0; };
    uint32_t mask = 0;
    if (bit(standardEdx, 23))
        mask |= kFeatureMMX;
    if (bit(standardEdx, 25) || bit(extendedEdx, 22))
        mask |= kFeatureEnhancedMMX;
    if (bit(standardEdx, 15))
        mask |= kFeatureCMOV;
    if (bit(extendedEdx, 31))
        mask |= kFeature3DNow;
    if (bit(extendedEdx, 30))
        mask |= kFeatureEnhanced3DNow;
    if (bit(standardEdx, 25))
        mask |= kFeatureSSE;
    if (bit(standardEdx, 26))
        mask |= kFeatureSSE2;
    if (bit(standardEcx, 0))
        mask |= kFeatureSSE3;
    // The system check runs only when SSE is reported; when SSE faults, the
    // SSE family goes but the MMX extensions stay.
    if ((mask & kFeatureSSE) != 0 && !osExecutesSse)
        mask &= 0xFFFFFF1Fu;
    return mask;
}

uint32_t detectProcessorFeatures() {
    Kel::Platform::CpuIdWords words = Kel::Platform::readCpuId();
    if (!words.hasCpuId)
        return 0;
    const bool reportsSse = ((words.standardEdx >> 25) & 1u) != 0;
    return decodeProcessorFeatures(words.standardEdx, words.standardEcx, words.extendedEdx,
                                   reportsSse && Kel::Platform::osExecutesSse());
}

namespace {
std::atomic<int> simdLimit{int(SimdLevel::AVX512)};
} // namespace

SimdLevel detectedSimdLevel() {
    static const SimdLevel detected = Kel::Platform::detectSimdLevel();
    return detected;
}

SimdLevel simdLevel() {
    const int limit = simdLimit.load(std::memory_order_relaxed);
    const int detected = int(detectedSimdLevel());
    return SimdLevel(detected < limit ? detected : limit);
}

void setSimdLevelLimit(SimdLevel limit) { simdLimit.store(int(limit), std::memory_order_relaxed); }
