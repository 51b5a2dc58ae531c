// What the leak and overrun assertions of every other test rest on: the
// reference host's ledger notices leaks and unbalanced releases, writes into
// row padding and handles left held; it sizes rows as asked, hands out suites
// only in its own versions and reaches the right host from each callback. The
// rest of its frame side (worlds, fill, copy, handles, the pooled iteration)
// is exercised by every render test.
#include "host/PluginEntry.h"
#include "refhost/HandleStore.h"
#include "refhost/WorldStore.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <thread>

using namespace refhost;

TEST(RefHostWorlds, WritingIntoRowPaddingIsReported) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_InData& in = host.inData();
    PF_EffectWorld w{};
    ASSERT_EQ(in.utils->new_world(in.effect_ref, 4, 3, PF_NewWorldFlag_CLEAR_PIXELS, &w), PF_Err_NONE);
    reinterpret_cast<uint8_t*>(w.data)[w.rowbytes + 16] = 1; // one pixel past the end of row 1
    EXPECT_EQ(in.utils->dispose_world(in.effect_ref, &w), PF_Err_NONE);
    ASSERT_EQ(host.ledger().misuses().size(), 1u);
    EXPECT_NE(host.ledger().misuses()[0].find("padding"), std::string::npos);
}

TEST(RefHostWorlds, RowPaddingRoundsUpAndNegativeMeansNone) {
    const int cases[][2] = {{-9, 0}, {-1, 0}, {0, 0}, {1, 4}, {4, 4}, {5, 8}};
    for (const auto& [padding, extra] : cases) {
        WorldStore store(padding);
        PF_EffectWorld w{};
        ASSERT_EQ(store.create(5, 2, PF_PixelFormat_ARGB32, true, WorldStore::Owner::Host, "w", &w), PF_Err_NONE);
        EXPECT_EQ(w.rowbytes, 5 * 4 + extra) << "padding " << padding;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(w.data) % 32, 0u); // whatever the allocator's alignment
        EXPECT_TRUE(store.paddingIntact(w.data));
        EXPECT_TRUE(store.destroy(&w, WorldStore::Owner::Host));
    }
}

TEST(RefHostHandles, LeakIsReportedAndNthRequestFails) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_UtilCallbacks* u = host.inData().utils;
    host.failHandleRequest(2);
    PF_Handle a = u->host_new_handle(16);
    EXPECT_EQ(u->host_new_handle(16), nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(host.ledger().nothingHeld());
    EXPECT_NE(host.ledger().report().find("16 bytes"), std::string::npos);
    u->host_dispose_handle(a);
    EXPECT_NOTHING_HELD(host);
}

// Within one frame the copy walks rows away from the overlap, as hosts do.
TEST(RefHostCopy, OverlappingCopyWithinOneFrame) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_InData& in = host.inData();
    PF_EffectWorld w = host.makeHostWorld(6, 6, PF_PixelFormat_ARGB32, "w");
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            reinterpret_cast<uint8_t*>(w.data)[y * w.rowbytes + x * 4] = uint8_t(10 * y + x);
    PF_Rect s{0, 0, 4, 4}, d{1, 1, 6, 6};
    ASSERT_EQ(in.utils->copy(in.effect_ref, &w, &w, &s, &d), PF_Err_NONE);
    for (int y = 1; y < 5; ++y)
        for (int x = 1; x < 5; ++x)
            EXPECT_EQ(reinterpret_cast<uint8_t*>(w.data)[y * w.rowbytes + x * 4], 10 * (y - 1) + x - 1);
    host.disposeHostWorld(&w);
}

// A recycled block goes to a handle of its own size only: a larger one would
// hide a write past a smaller request.
TEST(RefHostHandles, RecyclingReusesBlocksOfTheSameSizeOnly) {
    HandleStore store;
    store.setRecycling(true);
    PF_Handle a = store.create(1000, nullptr);
    ASSERT_NE(a, nullptr);
    void* const first = *a;
    ASSERT_TRUE(store.dispose(a, nullptr, nullptr));
    PF_Handle smaller = store.create(999, nullptr);
    EXPECT_NE(*smaller, first);
    PF_Handle same = store.create(1000, nullptr);
    EXPECT_EQ(*same, first);
    ASSERT_TRUE(store.dispose(smaller, nullptr, nullptr));
    ASSERT_TRUE(store.dispose(same, nullptr, nullptr));
}

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
