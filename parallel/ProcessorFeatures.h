// Which instruction-set extensions the processor and operating system support.
#pragma once

#include <cstdint>

enum : uint32_t {
    kFeatureMMX = 0x01,
    kFeatureEnhancedMMX = 0x02,
    kFeatureCMOV = 0x04,
    kFeature3DNow = 0x08,
    kFeatureEnhanced3DNow = 0x10,
    kFeatureSSE = 0x20,
    kFeatureSSE2 = 0x40,
    kFeatureSSE3 = 0x80
};

// The feature mask passed to the frame pipelines and the motion step.
uint32_t detectProcessorFeatures();

// Decodes the identification words into the mask: standard EDX and ECX of
// leaf 1 and extended EDX of leaf 0x80000001 (all 0 without the instruction),
// and whether the operating system executes SSE instructions.
uint32_t decodeProcessorFeatures(uint32_t standardEdx, uint32_t standardEcx, uint32_t extendedEdx,
                                 bool osExecutesSse);

// Vector instruction tiers our own SIMD kernels are built for; kernels pick
// the highest tier not above simdLevel().
enum class SimdLevel : int { Scalar = 0, SSE2 = 1, AVX2 = 2, AVX512 = 3 };

// Highest tier this processor and system run, capped by setSimdLevelLimit.
SimdLevel simdLevel();
// What the processor itself supports, ignoring the limit.
SimdLevel detectedSimdLevel();
// Lowers (or restores) the tier kernels may use; tests use it to compare tiers.
void setSimdLevelLimit(SimdLevel limit);
