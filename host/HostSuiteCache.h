// Host suites acquired by name and version for one command, released together
// when the cache goes out of scope.
#pragma once

#include "sdk/AE_EffectSuites.h"
#include "sdk/SPBasic.h"

#include <array>
#include <cstdint>

class HostSuiteCache {
public:
    // One slot per suite and version of the host interface; Velmora fills one.
    static constexpr int kSlotCount = 96;
    static constexpr int kParamUtilsSuite1Slot = 0;

    // Throws the integer PF_Err_BAD_CALLBACK_PARAM when `basic` is absent
    // (see usableBasicSuite).
    explicit HostSuiteCache(SPBasicSuite* basic);
    ~HostSuiteCache();
    HostSuiteCache(const HostSuiteCache&) = delete;
    HostSuiteCache& operator=(const HostSuiteCache&) = delete;

    // "PF Param Utils Suite" version 1, acquired on first use; throws the
    // integer PF_Err_BAD_CALLBACK_PARAM when the host does not hand it out
    // or hands out a table without its update function.
    const PF_ParamUtilsSuite1* paramUtilsSuite();

private:
    struct Slot {
        const void* suite = nullptr;
        const char* name = nullptr;
        int32_t version = 0;
    };
    const void* acquire(int slot, const char* name, int32_t version);

    SPBasicSuite* basic_;
    std::array<Slot, kSlotCount> slots_{};
};
