// The reference host's frame side: worlds in every pixel format with padded
// rows, fill and copy as a host does them, memory handles, and the pooled
// generic iteration with its injected faults.
#include "parallel/AEHost.h"
#include "host/PluginEntry.h"
#include "parallel/KelException.h"
#include "refhost/HandleStore.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace refhost;

namespace {

PF_WorldSuite2* acquireWorldSuite(RefHost& host) {
    const void* suite = nullptr;
    host.inData().pica_basicP->AcquireSuite(kPFWorldSuite, kPFWorldSuiteVersion2, &suite);
    return static_cast<PF_WorldSuite2*>(const_cast<void*>(suite));
}

void releaseWorldSuite(RefHost& host) {
    host.inData().pica_basicP->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
}

uint8_t* bytesAt(const PF_EffectWorld& w, int x, int y, int bpp) {
    return reinterpret_cast<uint8_t*>(w.data) + y * w.rowbytes + x * bpp;
}

// Marks every pixel of an ARGB32 world with its own coordinates.
void paintCoordinates(PF_EffectWorld& w) {
    for (int y = 0; y < w.height; ++y)
        for (int x = 0; x < w.width; ++x) {
            uint8_t* p = bytesAt(w, x, y, 4);
            p[0] = 255;
            p[1] = uint8_t(x);
            p[2] = uint8_t(y);
            p[3] = 7;
        }
}

} // namespace

TEST(RefHostWorlds, EveryPixelFormatWithPaddedRowsThroughTheWorldSuite) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_WorldSuite2* suite = acquireWorldSuite(host);
    ASSERT_NE(suite, nullptr);
    const PF_PixelFormat formats[] = {
        PF_PixelFormat_ARGB32,        PrPixelFormat_BGRA_4444_8u,  PrPixelFormat_VUYA_4444_8u,
        PF_PixelFormat_ARGB64,        PrPixelFormat_ARGB_4444_16u, PrPixelFormat_BGRA_4444_16u,
        PrPixelFormat_VUYA_4444_16u,  PF_PixelFormat_ARGB128,      PrPixelFormat_ARGB_4444_32f,
        PrPixelFormat_BGRA_4444_32f,  PrPixelFormat_VUYA_4444_32f};
    const int bytes[] = {4, 4, 4, 8, 8, 8, 8, 16, 16, 16, 16};
    for (int k = 0; k < 11; ++k) {
        SCOPED_TRACE(fourCCText(formats[k]));
        for (bool clear : {true, false}) {
            PF_EffectWorld w{};
            ASSERT_EQ(suite->PF_NewWorld(host.inData().effect_ref, 5, 3, clear, formats[k], &w),
                      PF_Err_NONE);
            EXPECT_EQ(w.width, 5);
            EXPECT_EQ(w.height, 3);
            EXPECT_EQ(w.rowbytes, 5 * bytes[k] + 48);
            EXPECT_EQ((w.world_flags & PF_WorldFlag_DEEP) != 0, bytes[k] == 8);
            EXPECT_EQ(w.extent_hint.right, 5);
            EXPECT_EQ(w.extent_hint.bottom, 3);
            PF_PixelFormat format = 0;
            EXPECT_EQ(suite->PF_GetPixelFormat(&w, &format), PF_Err_NONE);
            EXPECT_EQ(format, formats[k]);
            int nonZero = 0;
            for (int y = 0; y < 3; ++y)
                for (int i = 0; i < 5 * bytes[k]; ++i)
                    nonZero += bytesAt(w, 0, y, 1)[i] != 0;
            if (clear)
                EXPECT_EQ(nonZero, 0);
            else
                EXPECT_GT(nonZero, 0); // uncleared frames never pass for cleared ones
            EXPECT_EQ(host.ledger().heldCount(HostLedger::Held::World), 1);
            EXPECT_EQ(suite->PF_DisposeWorld(host.inData().effect_ref, &w), PF_Err_NONE);
        }
    }
    PF_EffectWorld bad{};
    EXPECT_EQ(suite->PF_NewWorld(host.inData().effect_ref, 4, 4, true, PF_PixelFormat_INVALID, &bad),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite->PF_NewWorld(host.inData().effect_ref, 0, 4, true, PF_PixelFormat_ARGB32, &bad),
              PF_Err_BAD_CALLBACK_PARAM);
    PF_PixelFormat format = 0;
    PF_EffectWorld foreign{};
    EXPECT_EQ(suite->PF_GetPixelFormat(&foreign, &format), PF_Err_BAD_CALLBACK_PARAM);
    releaseWorldSuite(host);
    EXPECT_NOTHING_HELD(host);
}

TEST(RefHostWorlds, UtilityNewWorldHonoursDeepAndClearFlags) {
    RefHost host(HostProfile::afterEffects().withRowPadding(6), &PluginEntry);
    PF_InData& in = host.inData();
    PF_EffectWorld deep{}, plain{};
    ASSERT_EQ(in.utils->new_world(in.effect_ref, 3, 2,
                                  PF_NewWorldFlag_DEEP_PIXELS | PF_NewWorldFlag_CLEAR_PIXELS, &deep),
              PF_Err_NONE);
    ASSERT_EQ(in.utils->new_world(in.effect_ref, 3, 2, PF_NewWorldFlag_NONE, &plain), PF_Err_NONE);
    EXPECT_EQ(host.pixelFormatOf(&deep), PF_PixelFormat_ARGB64);
    EXPECT_EQ(host.pixelFormatOf(&plain), PF_PixelFormat_ARGB32);
    EXPECT_EQ(deep.rowbytes, 3 * 8 + 8); // padding rounded up to whole channels
    EXPECT_EQ(plain.rowbytes, 3 * 4 + 8);
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 24; ++i)
            EXPECT_EQ(bytesAt(deep, 0, y, 1)[i], 0);
    EXPECT_EQ(host.ledger().heldCount(HostLedger::Held::World), 2);
    EXPECT_EQ(in.utils->dispose_world(in.effect_ref, &deep), PF_Err_NONE);
    EXPECT_EQ(deep.data, nullptr);
    EXPECT_FALSE(host.ledger().nothingHeld()); // plain still held
    EXPECT_NE(host.ledger().report().find("world"), std::string::npos);
    EXPECT_EQ(in.utils->dispose_world(in.effect_ref, &plain), PF_Err_NONE);
    EXPECT_NOTHING_HELD(host);
    // A second dispose of the same frame is a misuse.
    plain.data = reinterpret_cast<PF_PixelPtr>(&plain);
    EXPECT_EQ(in.utils->dispose_world(in.effect_ref, &plain), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.ledger().misuses().size(), 1u);
}

TEST(RefHostWorlds, WritingIntoRowPaddingIsReported) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_InData& in = host.inData();
    PF_EffectWorld w{};
    ASSERT_EQ(in.utils->new_world(in.effect_ref, 4, 3, PF_NewWorldFlag_CLEAR_PIXELS, &w), PF_Err_NONE);
    bytesAt(w, 4, 1, 4)[0] = 1; // one pixel past the end of row 1
    EXPECT_EQ(in.utils->dispose_world(in.effect_ref, &w), PF_Err_NONE);
    ASSERT_EQ(host.ledger().misuses().size(), 1u);
    EXPECT_NE(host.ledger().misuses()[0].find("padding"), std::string::npos);
}

TEST(RefHostWorlds, FailsTheNthWorldRequest) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_InData& in = host.inData();
    host.failWorldRequest(2);
    PF_EffectWorld a{}, b{}, c{};
    EXPECT_EQ(in.utils->new_world(in.effect_ref, 2, 2, 0, &a), PF_Err_NONE);
    EXPECT_EQ(in.utils->new_world(in.effect_ref, 2, 2, 0, &b), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(in.utils->new_world(in.effect_ref, 2, 2, 0, &c), PF_Err_NONE);
    EXPECT_EQ(host.worldRequests(), 3);
    in.utils->dispose_world(in.effect_ref, &a);
    in.utils->dispose_world(in.effect_ref, &c);
    EXPECT_NOTHING_HELD(host);
}

TEST(RefHostFill, ColourConvertedPerFormatInsideTheClippedRectangle) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_InData& in = host.inData();
    const PF_Pixel colour{255, 128, 1, 0}; // alpha, red, green, blue
    struct Case {
        PF_PixelFormat format;
        int bpp;
        int alphaAt, redAt, greenAt, blueAt;
    };
    const Case cases[] = {{PF_PixelFormat_ARGB32, 4, 0, 1, 2, 3},
                          {PrPixelFormat_BGRA_4444_8u, 4, 3, 2, 1, 0},
                          {PF_PixelFormat_ARGB64, 8, 0, 1, 2, 3},
                          {PrPixelFormat_VUYA_4444_16u, 8, 3, 2, 1, 0},
                          {PF_PixelFormat_ARGB128, 16, 0, 1, 2, 3},
                          {PrPixelFormat_BGRA_4444_32f, 16, 3, 2, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(fourCCText(c.format));
        PF_EffectWorld w = host.makeHostWorld(6, 5, c.format, "test");
        in.utils->fill(in.effect_ref, nullptr, nullptr, &w); // transparent black
        const PF_Rect rect{-3, 2, 2, 9};
        ASSERT_EQ(in.utils->fill(in.effect_ref, &colour, &rect, &w), PF_Err_NONE);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                const bool inside = y >= 2 && x < 2;
                const uint8_t* p = bytesAt(w, x, y, c.bpp);
                const int values[4] = {255, 128, 1, 0};
                const int at[4] = {c.alphaAt, c.redAt, c.greenAt, c.blueAt};
                for (int ch = 0; ch < 4; ++ch) {
                    const int v = inside ? values[ch] : 0;
                    if (c.bpp == 4) {
                        EXPECT_EQ(p[at[ch]], v);
                    } else if (c.bpp == 8) {
                        uint16_t got;
                        std::memcpy(&got, p + 2 * at[ch], 2);
                        EXPECT_EQ(got, uint16_t(std::lround(v * 32768.0 / 255.0)));
                    } else {
                        float got;
                        std::memcpy(&got, p + 4 * at[ch], 4);
                        EXPECT_EQ(got, float(v) / 255.0f);
                    }
                }
            }
        EXPECT_TRUE(host.worlds().paddingIntact(w.data));
        host.disposeHostWorld(&w);
    }
    EXPECT_NOTHING_HELD(host);
}

TEST(RefHostCopy, SourceRectangleToDestinationTopLeftClippedToBoth) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_InData& in = host.inData();
    PF_EffectWorld src = host.makeHostWorld(8, 6, PF_PixelFormat_ARGB32, "src");
    PF_EffectWorld dst = host.makeHostWorld(5, 4, PF_PixelFormat_ARGB32, "dst");
    paintCoordinates(src);
    struct Case {
        const char* name;
        PF_Rect srcRect;
        bool withDst;
        PF_Rect dstRect;
        int srcLeft, srcTop, dstLeft, dstTop, width, height;
    };
    const Case cases[] = {
        {"no destination rectangle", {2, 1, 6, 4}, false, {}, 2, 1, 0, 0, 4, 3},
        {"destination rectangle", {2, 1, 6, 4}, true, {3, 1, 5, 3}, 2, 1, 3, 1, 2, 2},
        {"source past its frame", {6, 4, 12, 9}, false, {}, 6, 4, 0, 0, 2, 2},
        {"destination rectangle past its frame", {0, 0, 8, 6}, true, {3, 2, 9, 9}, 0, 0, 3, 2, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        in.utils->fill(in.effect_ref, nullptr, nullptr, &dst);
        PF_Rect s = c.srcRect, d = c.dstRect;
        ASSERT_EQ(in.utils->copy(in.effect_ref, &src, &dst, &s, c.withDst ? &d : nullptr),
                  PF_Err_NONE);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const uint8_t* p = bytesAt(dst, x, y, 4);
                const bool inside = x >= c.dstLeft && x < c.dstLeft + c.width && y >= c.dstTop &&
                                    y < c.dstTop + c.height;
                if (inside) {
                    EXPECT_EQ(p[1], c.srcLeft + x - c.dstLeft) << x << "," << y;
                    EXPECT_EQ(p[2], c.srcTop + y - c.dstTop) << x << "," << y;
                } else {
                    EXPECT_EQ(p[0] | p[1] | p[2] | p[3], 0) << x << "," << y;
                }
            }
        EXPECT_TRUE(host.worlds().paddingIntact(dst.data));
    }
    PF_EffectWorld deep = host.makeHostWorld(5, 4, PF_PixelFormat_ARGB64, "deep");
    EXPECT_EQ(in.utils->copy(in.effect_ref, &src, &deep, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    host.disposeHostWorld(&deep);
    host.disposeHostWorld(&src);
    host.disposeHostWorld(&dst);
}

TEST(RefHostCopy, FramesOfOnePixelSizeCopyBytesAcrossChannelOrders) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_InData& in = host.inData();
    struct Case {
        PF_PixelFormat from, to;
    };
    const Case cases[] = {{PrPixelFormat_BGRA_4444_8u, PF_PixelFormat_ARGB32},
                          {PrPixelFormat_VUYA_4444_8u, PF_PixelFormat_ARGB32},
                          {PrPixelFormat_VUYA_4444_16u, PF_PixelFormat_ARGB64},
                          {PrPixelFormat_BGRA_4444_32f, PF_PixelFormat_ARGB128}};
    for (const Case& c : cases) {
        PF_EffectWorld src = host.makeHostWorld(3, 2, c.from, "source");
        PF_EffectWorld dst = host.makeHostWorld(3, 2, c.to, "destination");
        const size_t rowBytes = size_t(3) * size_t(pixelFormatInfo(c.from)->bytesPerPixel);
        for (int y = 0; y < 2; ++y)
            for (size_t i = 0; i < rowBytes; ++i)
                reinterpret_cast<uint8_t*>(src.data)[size_t(y) * size_t(src.rowbytes) + i] = uint8_t(7 * i + 50 * y + 1);
        PF_Rect all{0, 0, 3, 2};
        ASSERT_EQ(in.utils->copy(in.effect_ref, &src, &dst, &all, nullptr), PF_Err_NONE) << pixelFormatName(c.from);
        for (int y = 0; y < 2; ++y)
            for (size_t i = 0; i < rowBytes; ++i)
                EXPECT_EQ(reinterpret_cast<uint8_t*>(dst.data)[size_t(y) * size_t(dst.rowbytes) + i],
                          uint8_t(7 * i + 50 * y + 1))
                    << pixelFormatName(c.from) << " row " << y << " byte " << i;
        host.disposeHostWorld(&src);
        host.disposeHostWorld(&dst);
    }
}

// Row padding is rounded up to whole 4-byte channels; a negative one means none.
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

TEST(RefHostWorlds, RecyclingReusesMemoryOfTheSameSizeOnly) {
    WorldStore store(16);
    store.setRecycling(true);
    PF_EffectWorld a{}, b{}, c{};
    ASSERT_EQ(store.create(5, 3, PF_PixelFormat_ARGB32, false, WorldStore::Owner::Host, "a", &a), PF_Err_NONE);
    void* const first = a.data;
    std::memset(a.data, 0x11, size_t(a.rowbytes) * 3);  // padding overwritten too
    ASSERT_TRUE(store.destroy(&a, WorldStore::Owner::Host));
    // Another size gets fresh memory; the same size gets the kept block back,
    // pixels as left, padding marked again.
    ASSERT_EQ(store.create(6, 3, PF_PixelFormat_ARGB32, false, WorldStore::Owner::Host, "b", &b), PF_Err_NONE);
    EXPECT_NE(b.data, first);
    ASSERT_EQ(store.create(5, 3, PF_PixelFormat_ARGB32, true, WorldStore::Owner::Host, "c", &c), PF_Err_NONE);
    EXPECT_EQ(c.data, first);
    EXPECT_TRUE(store.paddingIntact(c.data));
    for (int y = 0; y < 3; ++y)
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(reinterpret_cast<uint8_t*>(c.data)[y * c.rowbytes + i], 0) << "cleared as asked";
    EXPECT_TRUE(store.destroy(&b, WorldStore::Owner::Host));
    EXPECT_TRUE(store.destroy(&c, WorldStore::Owner::Host));
    EXPECT_EQ(store.count(WorldStore::Owner::Host), 0);
}

TEST(RefHostCopy, OverlappingCopyWithinOneFrame) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_InData& in = host.inData();
    PF_EffectWorld w = host.makeHostWorld(6, 6, PF_PixelFormat_ARGB32, "w");
    paintCoordinates(w);
    PF_Rect s{0, 0, 4, 4}, d{1, 1, 6, 6};
    ASSERT_EQ(in.utils->copy(in.effect_ref, &w, &w, &s, &d), PF_Err_NONE);
    for (int y = 1; y < 5; ++y)
        for (int x = 1; x < 5; ++x) {
            EXPECT_EQ(bytesAt(w, x, y, 4)[1], x - 1);
            EXPECT_EQ(bytesAt(w, x, y, 4)[2], y - 1);
        }
    host.disposeHostWorld(&w);
}

TEST(RefHostHandles, NewLockUnlockDisposeSizeAndMisuse) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_UtilCallbacks* u = host.inData().utils;
    PF_Handle h = u->host_new_handle(100);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(u->host_get_handle_size(h), 100u);
    void* p = u->host_lock_handle(h);
    ASSERT_EQ(p, *h);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    std::memset(p, 1, 100);
    EXPECT_EQ(host.ledger().heldCount(HostLedger::Held::MemoryHandle), 1);
    u->host_unlock_handle(h);
    u->host_dispose_handle(h);
    EXPECT_NOTHING_HELD(host);

    PF_Handle locked = u->host_new_handle(8);
    u->host_lock_handle(locked);
    u->host_dispose_handle(locked); // disposed while locked
    u->host_unlock_handle(locked);  // unknown by now
    const std::vector<std::string> misuses = host.ledger().misuses();
    ASSERT_EQ(misuses.size(), 2u);
    EXPECT_NE(misuses[0].find("locked"), std::string::npos);
    EXPECT_EQ(host.ledger().heldCount(HostLedger::Held::MemoryHandle), 0);
}

// A recycling store hands a disposed block to the next handle of the same
// size only, keeps a bounded number of blocks, and drops them when recycling
// is switched off.
TEST(RefHostHandles, RecyclingReusesBlocksOfTheSameSizeOnly) {
    HandleStore store;
    store.setRecycling(true);
    PF_Handle a = store.create(1000, nullptr);
    ASSERT_NE(a, nullptr);
    void* const first = *a;
    ASSERT_TRUE(store.dispose(a, nullptr, nullptr));
    EXPECT_EQ(store.spare(), 1);
    PF_Handle other = store.create(999, nullptr);
    EXPECT_NE(*other, first);
    PF_Handle same = store.create(1000, nullptr);
    EXPECT_EQ(*same, first);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(*same) % 16, 0u);
    EXPECT_EQ(store.spare(), 0);
    EXPECT_EQ(store.live(), 2);

    std::vector<PF_Handle> many;
    for (int i = 0; i < 40; ++i)
        many.push_back(store.create(64, nullptr));
    for (PF_Handle h : many)
        ASSERT_TRUE(store.dispose(h, nullptr, nullptr));
    EXPECT_EQ(store.spare(), 32);
    store.setRecycling(false);
    EXPECT_EQ(store.spare(), 0);
    ASSERT_TRUE(store.dispose(same, nullptr, nullptr));
    ASSERT_TRUE(store.dispose(other, nullptr, nullptr));
    EXPECT_EQ(store.spare(), 0);
    EXPECT_EQ(store.live(), 0);
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

namespace {
struct IterationLog {
    std::mutex mutex;
    std::vector<int> counts;
    std::set<int> threadIndices;
    std::set<std::thread::id> threadIds;
    std::thread::id threadZero;
    bool threadZeroOnOtherThread = false;
    A_long iterationsSeen = 0;
    A_long failFrom = -1; // iterations from this index on fail
};

PF_Err logIteration(void* refcon, A_long threadIndex, A_long i, A_long iterations) {
    IterationLog* log = static_cast<IterationLog*>(refcon);
    std::lock_guard lock(log->mutex);
    if (log->counts.size() < size_t(iterations))
        log->counts.resize(size_t(iterations));
    ++log->counts[size_t(i)];
    log->threadIndices.insert(threadIndex);
    log->threadIds.insert(std::this_thread::get_id());
    if (threadIndex == 0 && std::this_thread::get_id() != log->threadZero)
        log->threadZeroOnOtherThread = true;
    log->iterationsSeen = iterations;
    return log->failFrom >= 0 && i >= log->failFrom ? PF_Err_INTERNAL_STRUCT_DAMAGED : PF_Err_NONE;
}
} // namespace

TEST(RefHostIteration, EveryIterationOnceOnAPoolThatPersists) {
    RefHost host(HostProfile::afterEffects().withWorkers(3), &PluginEntry);
    PF_UtilCallbacks* u = host.inData().utils;
    IterationLog log;
    log.threadZero = std::this_thread::get_id();
    for (int call = 0; call < 40; ++call)
        ASSERT_EQ(u->iterate_generic(17, &log, logIteration), PF_Err_NONE);
    ASSERT_EQ(log.counts.size(), 17u);
    for (int c : log.counts)
        EXPECT_EQ(c, 40);
    EXPECT_LE(log.threadIds.size(), 3u); // no thread started per call
    EXPECT_FALSE(log.threadZeroOnOtherThread);
    for (int t : log.threadIndices)
        EXPECT_TRUE(t >= 0 && t < 3);
    EXPECT_EQ(host.iterationsRun(), 40 * 17);

    IterationLog once;
    once.threadZero = log.threadZero;
    EXPECT_EQ(u->iterate_generic(-1, &once, logIteration), PF_Err_NONE);
    EXPECT_EQ(once.iterationsSeen, 3);
    EXPECT_EQ(once.counts, std::vector<int>({1, 1, 1}));

    host.setWorkerThreads(1);
    IterationLog single;
    single.threadZero = log.threadZero;
    EXPECT_EQ(u->iterate_generic(5, &single, logIteration), PF_Err_NONE);
    EXPECT_EQ(single.threadIndices, std::set<int>({0}));
    EXPECT_EQ(single.threadIds.size(), 1u);
}

TEST(RefHostIteration, InjectedResultsCancelAndCallbackErrors) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_UtilCallbacks* u = host.inData().utils;

    IterationLog all;
    host.faults().iterationResult = PF_Err_OUT_OF_MEMORY;
    EXPECT_EQ(u->iterate_generic(6, &all, logIteration), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(all.counts, std::vector<int>(6, 1)); // every iteration ran first
    host.faults().iterationResult = PF_Err_NONE;

    IterationLog cut;
    host.cancelIterationAfter(10);
    EXPECT_EQ(u->iterate_generic(4, &cut, logIteration), PF_Err_NONE);
    EXPECT_EQ(u->iterate_generic(8, &cut, logIteration), PF_Interrupt_CANCEL);
    int ran = 0;
    for (int c : cut.counts)
        ran += c;
    EXPECT_EQ(ran, 10);
    IterationLog after;
    EXPECT_EQ(u->iterate_generic(3, &after, logIteration), PF_Interrupt_CANCEL);
    EXPECT_TRUE(after.counts.empty()); // the user cancelled: nothing more starts
    host.cancelIterationAfter(-1);

    // Every iteration fails, so each thread stops at its own first failure:
    // at most one iteration per thread. (With a single failing iteration
    // nothing bounds how many others run while its thread is descheduled.)
    IterationLog failing;
    failing.failFrom = 0;
    EXPECT_EQ(u->iterate_generic(1000, &failing, logIteration), PF_Err_INTERNAL_STRUCT_DAMAGED);
    int started = 0;
    for (int c : failing.counts)
        started += c;
    EXPECT_LE(started, host.profile().workerThreads);
    EXPECT_NOTHING_HELD(host);
}

namespace {
PF_Err nestedIteration(void* refcon, A_long, A_long, A_long) {
    PF_UtilCallbacks* u = static_cast<PF_UtilCallbacks*>(refcon);
    IterationLog inner;
    return u->iterate_generic(2, &inner, logIteration);
}

PF_Err throwingIteration(void*, A_long, A_long, A_long) { throw std::runtime_error("band"); }

void emptyBand(int32_t, int32_t, int32_t, void*) {}
} // namespace

TEST(RefHostIteration, NestedCallAndExceptionsAreMisuses) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_UtilCallbacks* u = host.inData().utils;
    EXPECT_EQ(u->iterate_generic(2, u, nestedIteration), PF_Err_BAD_CALLBACK_PARAM);
    // One nested call or two, as the second iteration may start before the
    // first one's refusal stops the run.
    const size_t nested = host.ledger().misuses().size();
    EXPECT_TRUE(nested == 1 || nested == 2) << nested;
    EXPECT_EQ(u->iterate_generic(1, nullptr, throwingIteration), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(host.ledger().misuses().size(), nested + 1);
}

TEST(RefHostIteration, TheJobRunnerSeesOutOfMemoryAndCancel) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    AEHost runner(&host.inData(), nullptr, nullptr);
    EXPECT_EQ(runner.processorCount(), 2);
    host.faults().iterationResult = PF_Err_OUT_OF_MEMORY;
    EXPECT_THROW(runner.thread(emptyBand, nullptr, 4), std::bad_alloc);
    host.faults().iterationResult = PF_Err_NONE;
    host.cancelIterationAfter(3);
    EXPECT_THROW(runner.thread(emptyBand, nullptr, 4), Kel::Interrupted);
    EXPECT_EQ(runner.status, PF_Interrupt_CANCEL);
    host.cancelIterationAfter(-1);
    EXPECT_THROW(runner.thread(emptyBand, nullptr, 4), Kel::Interrupted); // sticky status
}
