#include "refhost/RenderDriver.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// A smooth but detailed picture sampled at a horizontal offset: successive
// "moments" of a pan.
double scene(double x, double y) {
    return 128.0 + 60.0 * std::sin(x * 0.37 + y * 0.11) + 40.0 * std::cos(x * 0.05 - y * 0.43) +
           20.0 * std::sin((x + 2.0 * y) * 0.9);
}

uint8_t toByte(double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 255.0))); }

// Progressive moment t of the pan, one 8-bit ARGB grey frame.
std::vector<uint8_t> moment(int width, int height, double t, double speed) {
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &pixels[(size_t(y) * width + x) * 4];
            const uint8_t v = toByte(scene(x + speed * t, y));
            p[0] = 255;
            p[1] = p[2] = p[3] = v;
        }
    return pixels;
}

// Interlaced frame i: upper field from moment 2i, lower field from 2i + 1.
std::vector<uint8_t> interlaced(int width, int height, int i, double speed) {
    std::vector<uint8_t> upper = moment(width, height, 2 * i, speed);
    const std::vector<uint8_t> lower = moment(width, height, 2 * i + 1, speed);
    for (int y = 1; y < height; y += 2)
        std::copy_n(&lower[size_t(y) * width * 4], size_t(width) * 4, &upper[size_t(y) * width * 4]);
    return upper;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height,
            int margin) {
    double sum = 0;
    int n = 0;
    for (int y = margin; y < height - margin; ++y)
        for (int x = margin; x < width - margin; ++x) {
            const double d = double(a[(size_t(y) * width + x) * 4 + 2]) -
                             double(b[(size_t(y) * width + x) * 4 + 2]);
            sum += d * d;
            ++n;
        }
    return 10.0 * std::log10(255.0 * 255.0 / std::max(sum / n, 1e-9));
}

} // namespace

// On a pan over fine texture, every motion mode rebuilds the missing field
// better than interpolation within the field, and "Best" better than "Fast".
TEST(MotionPipeline, MotionModesBeatInterpolationOnAPan) {
    const int width = 192, height = 128;
    const double speed = 1.5;
    Clip clip(PF_PixelFormat_ARGB32, width, height);
    for (int i = 0; i < 4; ++i)
        clip.addFrame(interlaced(width, height, i, speed));
    const std::vector<uint8_t> truth = moment(width, height, 2 * 3, speed);

    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    RenderDriver driver(host);
    double quality[5] = {};
    for (A_long motion = 1; motion <= 4; ++motion) {
        RenderParams params;
        params.motion = motion;
        const RenderResult r = driver.render(clip, 3, params, Protocol::Smart);
        ASSERT_EQ(r.err, PF_Err_NONE) << r.message;
        ASSERT_FALSE(r.showsMessage) << r.message;
        ASSERT_EQ(r.frame.width, width);
        quality[motion] = psnr(r.frame.pixels, truth, width, height, 8);
        EXPECT_NOTHING_HELD(host);
    }
    for (int motion = 2; motion <= 4; ++motion)
        EXPECT_GT(quality[motion], quality[1] + 0.5) << "mode " << motion;
    EXPECT_GT(quality[4], quality[2]);
}
