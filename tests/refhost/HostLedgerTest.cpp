// The bookkeeping the leak assertions rest on must itself notice leaks and
// unbalanced releases.
#include "host/PluginEntry.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <thread>

using namespace refhost;

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

namespace {
thread_local RefHost* seenDuringCommand = nullptr;
PF_Err entryThatLooksForItsHost(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) {
    seenDuringCommand = RefHost::active();
    return PF_Err_NONE;
}
} // namespace

// Several hosts live at once: callbacks without an effect reference reach the
// host whose command runs on their thread, and outside any command only a
// sole host.
TEST(RefHostCallbacks, EachCommandReachesItsOwnHost) {
    RefHost a(HostProfile::afterEffects(), &entryThatLooksForItsHost);
    EXPECT_EQ(RefHost::active(), &a);
    {
        RefHost b(HostProfile::premiere(), &entryThatLooksForItsHost);
        EXPECT_EQ(RefHost::active(), nullptr);
        std::thread other([&] {
            b.about();
            EXPECT_EQ(seenDuringCommand, &b);
        });
        a.about();
        EXPECT_EQ(seenDuringCommand, &a);
        other.join();
    }
    EXPECT_EQ(RefHost::active(), &a);
}
