// What the leak and overrun assertions of every other test rest on: the
// reference host notices writes into row padding and handles left held, and
// sizes rows as asked. The rest of its frame side (worlds, fill, copy,
// handles, the pooled iteration) is exercised by every render test.
#include "host/PluginEntry.h"
#include "refhost/HandleStore.h"
#include "refhost/WorldStore.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

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
