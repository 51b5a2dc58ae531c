#include "refhost/RenderDriver.h"
#include "tests/deinterlace/PanClip.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace refhost;

namespace {

// The same pixels with alpha moved from the first channel to the last, the
// colour channels keeping their order: (A, c1, c2, c3) becomes (c1, c2, c3, A).
std::vector<uint8_t> alphaMovedLast(const std::vector<uint8_t>& pixels, const PixelFormatInfo& info) {
    const size_t pixel = size_t(info.bytesPerPixel), channel = pixel / 4;
    std::vector<uint8_t> out(pixels.size());
    for (size_t p = 0; p + pixel <= pixels.size(); p += pixel)
        for (size_t c = 0; c < 4; ++c)
            std::copy_n(&pixels[p + c * channel], channel, &out[p + (c + 3) % 4 * channel]);
    return out;
}

} // namespace

// The alpha-last pipelines weigh and warp the colour channels by position,
// as the alpha-first ones do: a "bgra" frame holding an ARGB frame's colour
// channels in its first three positions renders, bit for bit, to the ARGB
// render with alpha moved last, in every motion mode and depth.
TEST(ChannelOrderTwins, AlphaLastRendersAreTheAlphaFirstRendersWithAlphaMoved) {
    const int width = 64, height = 40, frames = 3;
    // 8-bit ARGB frames come from After Effects, the others from Premiere.
    const struct {
        PF_PixelFormat argb, bgra;
        bool argbFromPremiere;
    } kTwins[] = {
        {PF_PixelFormat_ARGB32, PrPixelFormat_BGRA_4444_8u, false},
        {PrPixelFormat_ARGB_4444_16u, PrPixelFormat_BGRA_4444_16u, true},
        {PrPixelFormat_ARGB_4444_32f, PrPixelFormat_BGRA_4444_32f, true},
    };
    for (const auto& twin : kTwins) {
        const Clip argb = pantest::panClip(twin.argb, width, height, frames, 1.5);
        Clip bgra(twin.bgra, width, height);
        for (int i = 0; i < frames; ++i)
            bgra.addFrame(alphaMovedLast(argb.frame(i), argb.formatInfo()));
        RefHost argbHost(twin.argbFromPremiere ? HostProfile::premiere() : HostProfile::afterEffects(),
                         loadedPlugin().entry());
        RefHost bgraHost(HostProfile::premiere(), loadedPlugin().entry());
        RenderDriver argbDriver(argbHost), bgraDriver(bgraHost);
        for (A_long motion = 2; motion <= 4; ++motion) {
            SCOPED_TRACE(pixelFormatName(twin.bgra) + ", motion " + std::to_string(motion));
            const RenderParams params{.motion = motion};
            const RenderResult a = argbDriver.render(argb, frames - 1, params, Protocol::Smart);
            const RenderResult b = bgraDriver.render(bgra, frames - 1, params, Protocol::Smart);
            ASSERT_EQ(a.err, PF_Err_NONE) << a.message;
            ASSERT_EQ(b.err, PF_Err_NONE) << b.message;
            EXPECT_TRUE(alphaMovedLast(a.frame.pixels, argb.formatInfo()) == b.frame.pixels);
            EXPECT_NOTHING_HELD(argbHost);
            EXPECT_NOTHING_HELD(bgraHost);
        }
    }
}
