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

TEST(RefHostCallbacks, SuitesAndCheckoutsAreCountedByNameVersionAndRecord) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_InData& in = host.inData();
    const void* suite = nullptr;
    EXPECT_EQ(in.pica_basicP->AcquireSuite(kPFWorldSuite, 1, &suite), kSPSuiteNotFoundError);
    EXPECT_EQ(suite, nullptr);
    EXPECT_EQ(in.pica_basicP->AcquireSuite(kPFWorldSuite, 2, &suite), kSPNoError);
    EXPECT_NE(suite, nullptr);
    EXPECT_EQ(host.ledger().heldCount(HostLedger::Held::Suite), 1);
    in.pica_basicP->ReleaseSuite(kPFWorldSuite, 2);

    PF_ParamDef a{}, b{};
    EXPECT_EQ(in.inter.checkout_param(in.effect_ref, 0, 0, 1, 30, &a), PF_Err_NONE);
    EXPECT_EQ(in.inter.checkout_param(in.effect_ref, 1, 0, 1, 30, &b), PF_Err_INVALID_INDEX);
    EXPECT_EQ(host.ledger().heldCount(HostLedger::Held::ParamCheckout), 1);
    EXPECT_EQ(in.inter.checkin_param(in.effect_ref, &b), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(in.inter.checkin_param(in.effect_ref, &a), PF_Err_NONE);
    EXPECT_EQ(host.ledger().misuses().size(), 1u);

    EXPECT_EQ(in.utils->ansi.sqrt(2.25), 1.5);
    EXPECT_EQ(in.utils->ansi.ceil(-1.5), -1.0);
    EXPECT_EQ(in.utils->ansi.floor(-1.5), -2.0);
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
