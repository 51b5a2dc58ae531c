#include "host/HostSuiteCache.h"
#include "host/PluginEntry.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

using namespace refhost;

namespace {
const std::string kParamUtils1 = suiteKey(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion1);

int thrownCode(const std::function<void()>& f) {
    try {
        f();
    } catch (int code) {
        return code;
    }
    return 0;
}
} // namespace

TEST(HostSuiteCache, AcquiresOnFirstUseOnceAndReleasesAtTheEnd) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    {
        HostSuiteCache cache(host.inData().pica_basicP);
        EXPECT_EQ(host.ledger().calls("AcquireSuite"), 0);
        const PF_ParamUtilsSuite1* first = cache.paramUtilsSuite();
        const PF_ParamUtilsSuite1* second = cache.paramUtilsSuite();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first, second);
        EXPECT_EQ(host.ledger().calls("AcquireSuite"), 1);
        EXPECT_EQ(host.ledger().heldCount(HostLedger::Held::Suite, kParamUtils1), 1);
    }
    EXPECT_EQ(host.ledger().calls("ReleaseSuite"), 1);
    EXPECT_NOTHING_HELD(host);
}

TEST(HostSuiteCache, SuiteTheHostDoesNotHandOutThrows516AndHoldsNothing) {
    struct Case {
        const char* name;
        std::function<void(HostProfile&, FaultPlan&)> arrange;
    };
    const Case cases[] = {
        {"withheld", [](HostProfile& p, FaultPlan&) { p.withholding(kPFParamUtilsSuite); }},
        {"acquisition fails",
         [](HostProfile&, FaultPlan& f) { f.failAcquisition.insert(kPFParamUtilsSuite); }},
        {"acquisition yields null",
         [](HostProfile&, FaultPlan& f) { f.nullAcquisition.insert(kPFParamUtilsSuite); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostProfile profile = HostProfile::afterEffects();
        FaultPlan faults;
        c.arrange(profile, faults);
        RefHost host(profile, &PluginEntry);
        host.faults() = faults;
        EXPECT_EQ(thrownCode([&] {
                      HostSuiteCache cache(host.inData().pica_basicP);
                      cache.paramUtilsSuite();
                  }),
                  PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_NOTHING_HELD(host);
    }
}
