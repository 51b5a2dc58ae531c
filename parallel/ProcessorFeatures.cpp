#include "parallel/ProcessorFeatures.h"

#include "parallel/platform/PlatformCpu.h"

#include <atomic>

uint32_t decodeProcessorFeatures(uint32_t standardEdx, uint32_t standardEcx, uint32_t extendedEdx,
                                 bool osExecutesSse) {
    // The CPUID bit that reports each feature; enhanced MMX is reported by
    // either of two.
    enum Word { StandardEdx, StandardEcx, ExtendedEdx };
    struct FeatureBit {
        uint32_t feature;
        Word word;
        int bit;
    };
    static constexpr FeatureBit kFeatureBits[] = {
        {kFeatureMMX, StandardEdx, 23},
        {kFeatureEnhancedMMX, StandardEdx, 25},
        {kFeatureEnhancedMMX, ExtendedEdx, 22},
        {kFeatureCMOV, StandardEdx, 15},
        {kFeature3DNow, ExtendedEdx, 31},
        {kFeatureEnhanced3DNow, ExtendedEdx, 30},
        {kFeatureSSE, StandardEdx, 25},
        {kFeatureSSE2, StandardEdx, 26},
        {kFeatureSSE3, StandardEcx, 0},
    };
    const uint32_t words[] = {standardEdx, standardEcx, extendedEdx};
    uint32_t mask = 0;
    for (const FeatureBit& f : kFeatureBits)
        if (((words[f.word] >> f.bit) & 1u) != 0)
            mask |= f.feature;
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
