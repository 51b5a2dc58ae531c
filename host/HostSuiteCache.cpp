#include "host/HostSuiteCache.h"

HostSuiteCache::HostSuiteCache(SPBasicSuite* basic) : basic_(basic) {
    if (basic_ == nullptr)
        throw int(PF_Err_BAD_CALLBACK_PARAM);
}

HostSuiteCache::~HostSuiteCache() {
    for (const Slot& slot : slots_)
        if (slot.suite != nullptr)
            basic_->ReleaseSuite(slot.name, slot.version);
}

const void* HostSuiteCache::acquire(int slot, const char* name, int32_t version) {
    Slot& entry = slots_[size_t(slot)];
    if (entry.suite != nullptr)
        return entry.suite;
    const void* suite = nullptr;
    const SPErr err = basic_->AcquireSuite(name, version, &suite);
    if (err != kSPNoError || suite == nullptr)
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    entry = Slot{suite, name, version};
    return suite;
}

const PF_ParamUtilsSuite1* HostSuiteCache::paramUtilsSuite() {
    const auto* suite = static_cast<const PF_ParamUtilsSuite1*>(
        acquire(kParamUtilsSuite1Slot, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion1));
    // A table without the one function used is no better than no table; the
    // slot stays filled, so it is still released with the cache.
    if (suite->PF_UpdateParamUI == nullptr)
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    return suite;
}
