// "Motion Compensation" "Off" through the plug-in's entry point and the
// reference host, in every pixel format and both render protocols, against
// the field median's definition.
#include "refhost/RenderDriver.h"
#include "tests/refhost/RenderTestFrames.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

using namespace refhost;

using namespace rendertest;

namespace {

constexpr A_long kWidth = 37; // not a multiple of any vector width

// Every format at odd and even heights; rows longer than the pixels (hosts
// hand out any length at least the pixels' own); and, without the world
// suite, 8- or 16-bit ARGB from the deep flag and the extent hint.
TEST(RenderOff, EveryFormatBothProtocolsBothFieldsAnyRowLength) {
    struct Case {
        HostProfile profile;
        std::vector<PF_PixelFormat> formats;
    };
    std::vector<PF_PixelFormat> every;
    for (const PixelFormatInfo& format : allPixelFormats())
        every.push_back(format.code);
    const Case cases[] = {
        {HostProfile::afterEffects(), every},
        {HostProfile::afterEffects().withRowPadding(4096),
         {PF_PixelFormat_ARGB32, PrPixelFormat_BGRA_4444_16u, PrPixelFormat_VUYA_4444_32f}},
        {HostProfile::afterEffects().withholding(kPFWorldSuite),
         {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64}},
    };
    uint32_t seed = 1;
    for (const Case& c : cases) {
        DrivenHost h(c.profile);
        for (PF_PixelFormat code : c.formats) {
            const PixelFormatInfo& format = *pixelFormatInfo(code);
            for (A_long height : {10, 11}) {
                const Clip clip = clipOf(code, kWidth, height, 1, seed++);
                for (A_long fields : {1, 2})
                    for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
                        SCOPED_TRACE(pixelFormatName(code) + " " + protocolName(protocol) +
                                     " height " + std::to_string(height) + " fields " +
                                     std::to_string(fields));
                        const RenderResult r = h.driver.render(clip, 0, withMotion(1, fields), protocol);
                        ASSERT_EQ(r.err, PF_Err_NONE) << r.message;
                        EXPECT_EQ(r.frame.originX + r.frame.originY, 0);
                        EXPECT_TRUE(offAgrees(format, kWidth, height, clip.frame(0), int(fields),
                                              r.frame.pixels));
                        EXPECT_NOTHING_HELD(h.host);
                    }
            }
        }
    }
}

// Sides up to 100000, the whole layer the plug-in asks for, render in full
// (32768 once wrapped in 16-bit rectangles and copied nothing); one more is
// refused with a message, in both protocols.
TEST(RenderOff, FrameSidesUpToTheWholeLayer) {
    DrivenHost h;
    const PixelFormatInfo& format = *pixelFormatInfo(PF_PixelFormat_ARGB32);
    const std::array<A_long, 3> cases[] = {{32768, 3, 1}, {100000, 3, 1}, {3, 100000, 1},
                                           {100001, 3, 0}, {3, 100001, 0}};
    for (const auto& [width, height, fits] : cases) {
        const Clip clip = clipOf(format.code, width, height, 1, 9);
        for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
            SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height) + " " +
                         protocolName(protocol));
            const RenderResult r = h.driver.render(clip, 0, withMotion(1, 1), protocol);
            if (fits) {
                ASSERT_EQ(r.err, PF_Err_NONE) << r.message;
                EXPECT_TRUE(offAgrees(format, width, height, clip.frame(0), 1, r.frame.pixels));
            } else {
                EXPECT_EQ(r.err, PF_Err_BAD_CALLBACK_PARAM);
                EXPECT_TRUE(r.showsMessage);
                EXPECT_NE(r.message.find("at most 100000 pixels a side"), std::string::npos)
                    << r.message;
            }
            EXPECT_NOTHING_HELD(h.host);
        }
    }
}

// Smart render of part of the layer: pre-render asks for the request grown
// by the rows and columns the filter reads and answers it clipped to the
// layer; the output is that clipped part, and pixel (x, y) of a buffer at
// origin (ox, oy) is layer pixel (x + ox, y + oy).
TEST(RenderOff, SmartOutputRequestPartOfTheLayer) {
    DrivenHost h;
    const A_long width = 29, height = 21;
    const PixelFormatInfo& format = *pixelFormatInfo(PrPixelFormat_ARGB_4444_16u);
    const Clip clip = clipOf(format.code, width, height, 1, 11);
    const PF_LRect layer{0, 0, width, height};
    struct Case {
        PF_LRect request, grown, result;
    };
    const Case cases[] = {
        {{5, 3, 17, 12}, {4, 2, 18, 14}, {5, 3, 17, 12}},  {{0, 1, 29, 10}, {-1, 0, 30, 12}, {0, 1, 29, 10}},
        {{1, 0, 28, 11}, {0, -1, 29, 13}, {1, 0, 28, 11}}, {{6, 8, 7, 9}, {5, 7, 8, 11}, {6, 8, 7, 9}},
        {{3, 4, 29, 21}, {2, 3, 30, 23}, {3, 4, 29, 21}},  {{-4, -3, 50, 40}, {-5, -4, 51, 42}, layer},
    };
    for (const Case& c : cases) {
        h.driver.settings().outputRequest = c.request;
        for (A_long fields : {1, 2}) {
            SCOPED_TRACE("request " + rectText(c.request) + " fields " + std::to_string(fields));
            const RenderResult r = h.driver.render(clip, 0, withMotion(1, fields), Protocol::Smart);
            ASSERT_EQ(r.err, PF_Err_NONE);
            ASSERT_EQ(r.layerRequests.size(), 1u);
            const PF_RenderRequest& asked = r.layerRequests[0].request;
            EXPECT_EQ(rectText(asked.rect), rectText(c.grown));
            EXPECT_EQ(asked.field, PF_Field_FRAME);
            EXPECT_EQ(asked.channel_mask, 15);
            EXPECT_TRUE(asked.preserve_rgb_of_zero_alpha);
            EXPECT_EQ(rectText(r.preRender.result_rect), rectText(c.result));
            EXPECT_EQ(r.preRender.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS, 0);
            EXPECT_TRUE(r.preRenderDataFreed);
            EXPECT_EQ(r.pixelCheckouts, std::vector<A_long>{0});
            ASSERT_EQ(r.frame.originX, c.result.left);
            ASSERT_EQ(r.frame.originY, c.result.top);
            EXPECT_TRUE(offAgrees(format, width, height, clip.frame(0), int(fields),
                                  r.frame.pixels, c.result));
            EXPECT_NOTHING_HELD(h.host);
        }
    }
}

// Legacy render with an output origin: the output buffer is the layer grown
// by the origin on every side, and its pixel (x + ox, y + oy) is the pixel
// (x, y) of a render at origin 0. Odd origins catch a parity taken from the
// buffer's rows instead of the layer's.
TEST(RenderOff, LegacyOutputOriginMovesThePicture) {
    DrivenHost h;
    const A_long width = 21, height = 13;
    for (PF_PixelFormat code : {PF_PixelFormat_ARGB32, PrPixelFormat_BGRA_4444_32f}) {
        const PixelFormatInfo& format = *pixelFormatInfo(code);
        const Clip clip = clipOf(code, width, height, 1, 3);
        for (A_long fields : {1, 2}) {
            h.driver.settings().outputOrigin = PF_Point{0, 0};
            const RenderResult atZero = h.driver.render(clip, 0, withMotion(1, fields), Protocol::Legacy);
            ASSERT_EQ(atZero.err, PF_Err_NONE);
            for (PF_Point origin : {PF_Point{3, 5}, PF_Point{2, 2}, PF_Point{0, 1}, PF_Point{-2, -3}}) {
                SCOPED_TRACE(pixelFormatName(code) + " fields " + std::to_string(fields) +
                             " origin " + std::to_string(origin.h) + "," + std::to_string(origin.v));
                h.driver.settings().outputOrigin = origin;
                const RenderResult r = h.driver.render(clip, 0, withMotion(1, fields), Protocol::Legacy);
                ASSERT_EQ(r.err, PF_Err_NONE);
                ASSERT_EQ(r.frame.width, width + 2 * origin.h);
                ASSERT_EQ(r.frame.height, height + 2 * origin.v);
                EXPECT_EQ(r.frame.originX, -origin.h);
                EXPECT_EQ(r.frame.originY, -origin.v);
                if (origin.h >= 0) {
                    const PF_LRect layerPart{origin.h, origin.v, origin.h + width, origin.v + height};
                    EXPECT_TRUE(samePixels(cropPacked(r.frame.pixels, r.frame.width, format.bytesPerPixel, layerPart),
                                           atZero.frame.pixels, width, format.bytesPerPixel));
                } else {
                    // An output smaller than the layer shows its middle part.
                    const PF_LRect shown{-origin.h, -origin.v, width + origin.h, height + origin.v};
                    EXPECT_TRUE(samePixels(r.frame.pixels, cropPacked(atZero.frame.pixels, width, format.bytesPerPixel, shown),
                                           r.frame.width, format.bytesPerPixel));
                }
                EXPECT_NOTHING_HELD(h.host);
            }
        }
    }
}

// At reduced vertical resolution the output is the input whatever the
// parameters; a denominator of 0 (either axis) means full resolution.
TEST(RenderOff, DownsampledOutputIsTheInput) {
    struct Case {
        PF_RationalScale x, y;
        bool reduced;
    };
    const Case cases[] = {
        {{1, 1}, {1, 2}, true},  {{1, 2}, {1, 2}, true},  {{1, 1}, {1, 4}, true},
        {{1, 1}, {1, 0}, false}, {{1, 0}, {1, 2}, false}, {{0, 0}, {0, 0}, false},
        {{1, 2}, {1, 1}, false},
    };
    DrivenHost h;
    const PixelFormatInfo& format = *pixelFormatInfo(PrPixelFormat_VUYA_4444_8u);
    const Clip clip = clipOf(format.code, 24, 16, 3, 9);
    for (const Case& c : cases) {
        h.driver.settings().downsampleX = c.x;
        h.driver.settings().downsampleY = c.y;
        for (Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
            // At full resolution "Off" with a valid field is enough here.
            for (A_long motion = 1; motion <= (c.reduced ? 4 : 1); ++motion) {
                for (A_long fields = 1; fields <= (c.reduced ? 3 : 2); ++fields) {
                    SCOPED_TRACE(testing::Message() << c.x.num << "/" << c.x.den << " " << c.y.num << "/"
                                 << c.y.den << " " << protocolName(protocol) << " motion "
                                 << motion << " fields " << fields);
                    RenderParams params{fields, motion, true};
                    const RenderResult r = h.driver.render(clip, 2, params, protocol);
                    ASSERT_EQ(r.err, PF_Err_NONE);
                    EXPECT_TRUE(c.reduced ? samePixels(r.frame.pixels, clip.frame(2), 24, 4)
                                          : offAgrees(format, 24, 16, clip.frame(2), int(fields),
                                                      r.frame.pixels));
                    EXPECT_NOTHING_HELD(h.host);
                }
            }
        }
    }
}

} // namespace
