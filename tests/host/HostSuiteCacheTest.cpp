// One acquisition per suite and cache, released with it; the refusals are
// driven through the loaded plug-in (EnableRule).
#include "host/HostSuiteCache.h"
#include "host/PluginEntry.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

using namespace refhost;

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
        EXPECT_EQ(host.ledger().heldCount(HostLedger::Held::Suite,
                                              suiteKey(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion1)), 1);
    }
    EXPECT_EQ(host.ledger().calls("ReleaseSuite"), 1);
    EXPECT_NOTHING_HELD(host);
}
