#include "parallel/ProcessorFeatures.h"
#include "tests/support/Scopes.h"

#include <gtest/gtest.h>

namespace {
constexpr uint32_t bit(int n) { return 1u << n; }
} // namespace

TEST(ProcessorFeatures, DecodesTheIdentificationWords) {
    struct Case {
        const char* name;
        uint32_t edx, ecx, extEdx;
        bool osSse;
        uint32_t mask;
    };
    const Case cases[] = {
        {"no identification instruction", 0, 0, 0, true, 0},
        {"MMX only", bit(23), 0, 0, true, kFeatureMMX},
        {"CMOV", bit(15), 0, 0, true, kFeatureCMOV},
        {"SSE family", bit(25) | bit(26), bit(0), 0, true,
         kFeatureEnhancedMMX | kFeatureSSE | kFeatureSSE2 | kFeatureSSE3},
        {"SSE without system support keeps enhanced MMX", bit(23) | bit(25) | bit(26), bit(0), 0,
         false, kFeatureMMX | kFeatureEnhancedMMX},
        {"AMD extended MMX without SSE", 0, 0, bit(22), true, kFeatureEnhancedMMX},
        {"3DNow! and its extension", 0, 0, bit(31) | bit(30), true,
         kFeature3DNow | kFeatureEnhanced3DNow},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decodeProcessorFeatures(c.edx, c.ecx, c.extEdx, c.osSse), c.mask) << c.name;
}

// This processor has SSE and SSE2 at least; the limit caps the level used.
TEST(ProcessorFeatures, ThisProcessorHasSse2AndTheLimitCapsTheLevel) {
    const uint32_t mask = detectProcessorFeatures();
    EXPECT_NE(mask & kFeatureSSE, 0u);
    EXPECT_NE(mask & kFeatureSSE2, 0u);
    EXPECT_EQ(mask & ~0xFFu, 0u);
    EXPECT_GE(int(detectedSimdLevel()), int(SimdLevel::SSE2));
    for (SimdLevel limit : {SimdLevel::Scalar, SimdLevel::SSE2}) {
        SimdLimitScope scope(limit);
        EXPECT_EQ(simdLevel(), limit);
    }
    EXPECT_EQ(simdLevel(), detectedSimdLevel());
}

#if defined(_WIN32) && defined(__i386__)
#include "parallel/platform/PlatformCpu.h"

#include <intrin.h>

// The SSE probe's structured exception guard: a faulting probe is caught and
// reported, a clean one returns, and the thread's handler chain is left as
// it was either way.
TEST(ProcessorFeatures, StructuredExceptionGuardCatchesAFaultAndUnlinksItself) {
    const unsigned long chain = __readfsdword(0);
    EXPECT_FALSE(Kel::Platform::runsWithoutFault([] { __asm__ volatile("ud2"); }));
    EXPECT_EQ(__readfsdword(0), chain);
    EXPECT_TRUE(Kel::Platform::runsWithoutFault([] {}));
    EXPECT_EQ(__readfsdword(0), chain);
    EXPECT_TRUE(Kel::Platform::osExecutesSse());
}
#endif
