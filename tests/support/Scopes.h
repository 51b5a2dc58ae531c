// Process-wide settings a test changes for its own duration only: restored
// when the scope ends, also when an ASSERT leaves the test early.
#pragma once

#include "parallel/ProcessorFeatures.h"
#include "parallel/Sarn_SetThreadCount.h"

#include <vector>

// The worker count of the thread running the test.
class ThreadCountScope {
public:
    explicit ThreadCountScope(int count) : saved_(Sarn_GetThreadCount()) { Sarn_SetThreadCount(count); }
    ~ThreadCountScope() { Sarn_SetThreadCount(saved_); }
    ThreadCountScope(const ThreadCountScope&) = delete;
    ThreadCountScope& operator=(const ThreadCountScope&) = delete;

private:
    int saved_;
};

// The highest SIMD tier kernels may use; the scope ends with no cap.
class SimdLimitScope {
public:
    explicit SimdLimitScope(SimdLevel limit) { setSimdLevelLimit(limit); }
    ~SimdLimitScope() { setSimdLevelLimit(SimdLevel::AVX512); }
    SimdLimitScope(const SimdLimitScope&) = delete;
    SimdLimitScope& operator=(const SimdLimitScope&) = delete;
};

// Every tier this processor runs, scalar first: what tier tests compare.
inline std::vector<SimdLevel> runnableSimdTiers() {
    std::vector<SimdLevel> tiers;
    for (int level = int(SimdLevel::Scalar); level <= int(detectedSimdLevel()); ++level)
        tiers.push_back(SimdLevel(level));
    return tiers;
}
