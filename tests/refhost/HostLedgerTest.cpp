// The bookkeeping the leak assertions rest on must itself notice leaks and
// unbalanced releases.
#include "host/PluginEntry.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

TEST(HostLedger, ReportsWhatIsHeldAndReleasesOfWhatIsNot) {
    HostLedger ledger;
    EXPECT_TRUE(ledger.nothingHeld());
    ledger.acquired(HostLedger::Held::Suite, "S v1");
    ledger.acquired(HostLedger::Held::Suite, "S v1");
    ledger.acquired(HostLedger::Held::World, "w");
    EXPECT_EQ(ledger.heldCount(HostLedger::Held::Suite), 2);
    ledger.released(HostLedger::Held::Suite, "S v1");
    ledger.released(HostLedger::Held::World, "w");
    EXPECT_FALSE(ledger.nothingHeld());
    EXPECT_NE(ledger.report().find("S v1 x1"), std::string::npos);
    ledger.released(HostLedger::Held::Suite, "S v1");
    EXPECT_TRUE(ledger.nothingHeld());
    ledger.released(HostLedger::Held::Suite, "S v2");
    EXPECT_FALSE(ledger.nothingHeld());
    EXPECT_EQ(ledger.misuses().size(), 1u);
}

// Suites come only in the versions the host has: a plug-in asking for
// another one is refused, as a real host would refuse it.
TEST(RefHostCallbacks, SuitesOnlyInTheVersionsTheHostHas) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    const void* suite = nullptr;
    EXPECT_EQ(host.inData().pica_basicP->AcquireSuite(kPFWorldSuite, 1, &suite), kSPSuiteNotFoundError);
    EXPECT_EQ(suite, nullptr);
    EXPECT_NOTHING_HELD(host);
}
