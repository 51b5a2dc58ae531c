#include "image/Sarn_Pixel.h"

#include <gtest/gtest.h>

TEST(PixelConversion, IntegerStoresClampAndRoundHalfUp) {
    struct Case {
        float value;
        int stored8, stored16;
    };
    const Case cases[] = {
        {-3.0f, 0, 0},          {0.0f, 0, 0},         {0.49f, 0, 0},
        {0.5f, 1, 1},           {127.5f, 128, 128},   {254.5f, 255, 255},
        {255.7f, 255, 256},     {300.0f, 255, 300},   {32768.4f, 255, 32768},
        {32767.5f, 255, 32768}, {40000.0f, 255, 32768},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(int(Sarn_StoreInt<unsigned char, 255>(c.value)), c.stored8) << c.value;
        EXPECT_EQ(int(Sarn_StoreInt<unsigned short, 32768>(c.value)), c.stored16) << c.value;
    }
}

TEST(PixelViews, LargeOffsetsDoNotWrap) {
    // y * stride beyond 2^31 must be formed in 64 bits.
    static uint8_t base[1];
    Sarn_PixelPtr<Sarn_Pixel8> view{base, 1 << 20};
    EXPECT_EQ(reinterpret_cast<uintptr_t>(view.element(3, 4096)) - reinterpret_cast<uintptr_t>(base),
              uintptr_t(4096) * (1u << 20) + 12);
}
