// What the leak and overrun assertions of every other test rest on: the
// reference host notices writes into row padding and handles left held, and
// sizes rows as asked. The rest of its frame side (worlds, fill, copy,
// handles, the pooled iteration) is exercised by every render test.
#include "host/PluginEntry.h"
#include "refhost/WorldStore.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

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
