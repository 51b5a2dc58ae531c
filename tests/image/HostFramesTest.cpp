// The host frame helpers against the reference host in-process: scratch
// frames with and without the world suite, fills under both render protocols,
// copies between smart-render buffers, and nothing left held on any path.
// Legacy copies, layer check-out and check-in are driven by the renders of
// tests/refhost and tests/deinterlace.
#include "image/CopyFrame.h"
#include "host/PluginEntry.h"
#include "image/HostFrames.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

using namespace refhost;

namespace {

uint8_t* pixel8(const PF_EffectWorld* w, int x, int y) {
    return reinterpret_cast<uint8_t*>(w->data) + y * w->rowbytes + x * 4;
}

bool allBytesZero(const PF_EffectWorld* w, int bytesPerPixel) {
    for (int y = 0; y < w->height; ++y)
        for (int i = 0; i < w->width * bytesPerPixel; ++i)
            if (reinterpret_cast<uint8_t*>(w->data)[y * w->rowbytes + i] != 0)
                return false;
    return true;
}

void paintCoordinates(PF_EffectWorld* w) {
    for (int y = 0; y < w->height; ++y)
        for (int x = 0; x < w->width; ++x) {
            uint8_t* p = pixel8(w, x, y);
            p[0] = 255;
            p[1] = uint8_t(x);
            p[2] = uint8_t(y);
            p[3] = 9;
        }
}

int heldWorlds(RefHost& host) { return host.ledger().heldCount(HostLedger::Held::World); }

// A smart callback table is only tested for presence by fill and copy.
PF_SmartRenderCallbacks presentSmartCallbacks{};

} // namespace

// Through the world suite every format; through the utility callbacks only
// 8- and 16-bit ARGB, the others refused as a refused request is: bad_alloc
// and nothing held. Each allocation releases the previous frame first.
TEST(ScratchWorld, AllocatesEachFormatTheHostOffersAndThrowsBadAllocOtherwise) {
    for (bool withSuite : {true, false}) {
        SCOPED_TRACE(withSuite ? "world suite" : "utility callbacks");
        HostProfile profile = HostProfile::afterEffects();
        if (!withSuite)
            profile.withholding(kPFWorldSuite);
        RefHost refHost(profile, &PluginEntry);
        int allocated = 0; // frames the host handed out
        {
            AEHost host(&refHost.inData(), nullptr, nullptr);
            ASSERT_EQ(host.worldSuite != nullptr, withSuite);
            ScratchWorld scratch(host);
            EXPECT_TRUE(scratch.empty());
            for (const PixelFormatInfo& format : allPixelFormats()) {
                SCOPED_TRACE(fourCCText(format.code));
                if (!withSuite && format.code != PF_PixelFormat_ARGB32 && format.code != PF_PixelFormat_ARGB64) {
                    EXPECT_THROW(scratch.allocate(4, 2, format.code, true), std::bad_alloc);
                    EXPECT_TRUE(scratch.empty());
                    continue;
                }
                scratch.allocate(5, 3, format.code, true);
                ++allocated;
                ASSERT_FALSE(scratch.empty());
                EXPECT_EQ(refHost.pixelFormatOf(scratch.world()), format.code);
                EXPECT_EQ(scratch.world()->width, 5);
                EXPECT_EQ(scratch.world()->height, 3);
                EXPECT_TRUE(allBytesZero(scratch.world(), format.bytesPerPixel));
                EXPECT_EQ(heldWorlds(refHost), 1);
            }
            EXPECT_EQ(refHost.ledger().calls("PF_NewWorld"), withSuite ? allocated : 0);
            EXPECT_EQ(refHost.ledger().calls("new_world"), withSuite ? 0 : allocated);
            scratch.allocate(0, 3, PF_PixelFormat_ARGB32, true);
            EXPECT_TRUE(scratch.empty());
            EXPECT_EQ(heldWorlds(refHost), 0);
            scratch.allocate(4, 2, PF_PixelFormat_ARGB32, false);
            EXPECT_FALSE(allBytesZero(scratch.world(), 4)); // not asked to clear
            refHost.failWorldRequest(1);
            EXPECT_THROW(scratch.allocate(3, 3, PF_PixelFormat_ARGB32, true), std::bad_alloc);
            EXPECT_TRUE(scratch.empty());
            EXPECT_EQ(scratch.world()->data, nullptr);
            scratch.allocate(2, 2, PF_PixelFormat_ARGB64, false);
            allocated += 2;
        } // released by scope, the way it came
        EXPECT_NOTHING_HELD(refHost);
        EXPECT_EQ(refHost.ledger().calls(withSuite ? "PF_DisposeWorld" : "dispose_world"), allocated);
    }
}

TEST(FillWorld, LegacyFillsTheExtentHintMovedForTheOutputSmartTheWholeWorld) {
    RefHost refHost(HostProfile::afterEffects(), &PluginEntry);
    PF_EffectWorld output = refHost.makeHostWorld(6, 5, PF_PixelFormat_ARGB32, "output");
    PF_EffectWorld other = refHost.makeHostWorld(6, 5, PF_PixelFormat_ARGB32, "other");
    refHost.inData().output_origin_x = 2;
    refHost.inData().output_origin_y = 1;
    const PF_Rect hint{1, 1, 5, 3};
    output.extent_hint = hint;
    other.extent_hint = hint;
    const PF_Pixel white{255, 255, 255, 255}, marker{7, 7, 7, 7};
    struct Case {
        const char* name;
        PF_EffectWorld* world;
        bool smart;
        const PF_Pixel* colour;
        int left, top, right, bottom; // expected filled span
    };
    const Case cases[] = {
        {"legacy output: hint moved by the origin, clipped", &output, false, &white, 3, 2, 6, 4},
        {"legacy other frame: hint as it is", &other, false, &white, 1, 1, 5, 3},
        {"smart: whole world", &output, true, &white, 0, 0, 6, 5},
        {"no colour: transparent black", &output, true, nullptr, 0, 0, 6, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AEHost host(&refHost.inData(), &output, c.smart ? &presentSmartCallbacks : nullptr);
        refHost.inData().utils->fill(refHost.inData().effect_ref, &marker, nullptr, c.world);
        ASSERT_EQ(fillWorld(host, c.world, c.colour), PF_Err_NONE);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                const bool inside = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
                const uint8_t expected = !inside ? 7 : c.colour ? 255 : 0;
                for (int k = 0; k < 4; ++k)
                    EXPECT_EQ(pixel8(c.world, x, y)[k], expected) << x << "," << y;
            }
    }
    refHost.disposeHostWorld(&output);
    refHost.disposeHostWorld(&other);
    EXPECT_NOTHING_HELD(refHost);
}

// Smart render: a source placed on any side of the destination lands where
// it lies in the layer. What it does not cover keeps what was there, or,
// copying into a scratch frame, becomes transparent black.
TEST(CopyFrame, SmartSourceOnEverySideLandsWhereItLies) {
    RefHost refHost(HostProfile::afterEffects(), &PluginEntry);
    PF_EffectWorld src = refHost.makeHostWorld(6, 5, PF_PixelFormat_ARGB32, "src");
    PF_EffectWorld dst = refHost.makeHostWorld(6, 5, PF_PixelFormat_ARGB32, "dst");
    paintCoordinates(&src);
    const PF_Pixel marker{7, 7, 7, 7};
    struct Offset {
        A_long x, y;
    };
    for (const Offset o : {Offset{0, 0}, Offset{-2, 0}, Offset{2, 0}, Offset{0, -2}, Offset{0, 3},
                           Offset{3, -1}, Offset{-1, 2}, Offset{6, 0}}) {
        for (bool clearingRest : {false, true}) {
            SCOPED_TRACE(testing::Message() << "source at " << o.x << "," << o.y
                                            << (clearingRest ? ", clearing the rest" : ""));
            src.origin_x = o.x;
            src.origin_y = o.y;
            refHost.inData().utils->fill(refHost.inData().effect_ref, &marker, nullptr, &dst);
            AEHost host(&refHost.inData(), &dst, &presentSmartCallbacks);
            ASSERT_EQ(clearingRest ? copyFrameClearingRest(host, &src, &dst)
                                   : copyFrame(host, &src, &dst),
                      PF_Err_NONE);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 6; ++x) {
                    const int sx = x - o.x, sy = y - o.y;
                    uint8_t want[4] = {255, uint8_t(sx), uint8_t(sy), 9};
                    if (sx < 0 || sx >= 6 || sy < 0 || sy >= 5)
                        std::memset(want, clearingRest ? 0 : 7, 4);
                    EXPECT_EQ(std::memcmp(pixel8(&dst, x, y), want, 4), 0) << x << "," << y;
                }
        }
    }
    refHost.disposeHostWorld(&src);
    refHost.disposeHostWorld(&dst);
    EXPECT_NOTHING_HELD(refHost);
}
