#include "CliTestFiles.h"

#include "cli/PixelConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace cli;
using namespace refhost;

namespace {

// Interleaved pixels of any of the eleven formats, read back as floats.
struct PixelBuffer {
    PixelBuffer(int width, int height, PixelFormat format)
        : width(width), info(formatInfo(format)), rowBytes(int64_t(width) * info.bytesPerPixel + 16),
          storage(size_t(rowBytes * height / 4 + 1)) {}
    uint8_t* data() { return reinterpret_cast<uint8_t*>(storage.data()); }
    float channel(int x, int y, int c) const {
        const uint8_t* at = reinterpret_cast<const uint8_t*>(storage.data()) + y * rowBytes +
                            int64_t(x) * info.bytesPerPixel + c * info.bytesPerPixel / 4;
        if (info.depth == ChannelDepth::Bits8)
            return *at;
        if (info.depth == ChannelDepth::Bits16)
            return float(*reinterpret_cast<const uint16_t*>(at));
        return *reinterpret_cast<const float*>(at);
    }
    int width;
    PixelFormatInfo info;
    int64_t rowBytes;
    std::vector<float> storage;  // float-aligned for every depth
};

// Full scale of a format's channels: 255, 32768 or 1.
double fullScale(const PixelFormatInfo& info) {
    return info.depth == ChannelDepth::Bits8 ? 255 : info.depth == ChannelDepth::Bits16 ? 32768 : 1;
}

int maxDifference(const Y4mFrame& a, const Y4mFrame& b) {
    int worst = 0;
    const Y4mFrameLayout& layout = a.layout();
    for (int p = 0; p < layout.planes; ++p)
        for (int y = 0; y < layout.height[p]; ++y)
            for (int x = 0; x < layout.width[p]; ++x)
                worst = std::max(worst, std::abs(sample(a, p, x, y) - sample(b, p, x, y)));
    return worst;
}

// `frame` converted to pixels of `format`.
PixelBuffer pixelsOf(const Y4mHeader& header, const Y4mFrame& frame, PixelFormat format,
                     ColourMatrix matrix = ColourMatrix::BT709) {
    PixelBuffer pixels(header.width, header.height, format);
    FrameConverter(header, format, matrix).toPixels(frame, pixels.data(), pixels.rowBytes);
    return pixels;
}

const PixelFormat kVuyaFormats[] = {PixelFormat::vuya, PixelFormat::Vuya, PixelFormat::VUya};

}  // namespace

TEST(PixelFormatCodes, FirstCharacterInTheLowestByte) {
    EXPECT_EQ(pixelFormatCode(PixelFormat::argb), uint32_t('a' | 'r' << 8 | 'g' << 16 | 'b' << 24));
    EXPECT_EQ(pixelFormatCode(PixelFormat::VUya), uint32_t('V' | 'U' << 8 | 'y' << 16 | 'a' << 24));
    for (const PixelFormatInfo& info : allPixelFormats())
        EXPECT_EQ(pixelFormatFromName(pixelFormatName(info.code)), PixelFormat(info.code));
    EXPECT_FALSE(pixelFormatFromName("rgba").has_value());
    EXPECT_EQ(defaultPixelFormat(8), PixelFormat::vuya);
    EXPECT_EQ(defaultPixelFormat(10), PixelFormat::Vuya);
}

// Upsampling by repetition and subsampling by the block mean invert each
// other: an untouched progressive frame comes back bit for bit.
TEST(FrameConversion, ProgressiveFramesRoundTripThroughVuya) {
    const char* tags[] = {"420jpeg", "422", "444", "mono", "420p10", "422p10", "444p12", "mono12", "420p16", "444p16"};
    std::mt19937 random(3);
    for (const char* tag : tags) {
        for (const char* size : {"W9 H7", "W8 H6", "W1 H1"}) {
            const Y4mHeader header = parseY4mHeader(std::string("YUV4MPEG2 ") + size + " Ip C" + tag);
            Y4mFrame in{Y4mFrameLayout(header)}, out{Y4mFrameLayout(header)};
            // 4:2:0 and 4:2:2 luma is random; chroma is random too, it is per block anyway.
            fillRandom(in, header.bitDepth, random);
            for (PixelFormat format : kVuyaFormats) {
                const FrameConverter converter(header, format);
                PixelBuffer pixels(header.width, header.height, format);
                converter.toPixels(in, pixels.data(), pixels.rowBytes);
                // Rows are written up to their last pixel, odd widths included.
                for (int y = 0; y < header.height; ++y)
                    for (int64_t i = int64_t(header.width) * pixels.info.bytesPerPixel; i < pixels.rowBytes; ++i)
                        ASSERT_EQ(pixels.data()[y * pixels.rowBytes + i], 0) << tag << " " << size << " row " << y;
                converter.fromPixels(pixels.data(), pixels.rowBytes, out);
                // An 8-bit buffer holds deeper codes only approximately; 16-bit
                // codes lose their low bit on the 0..32768 scale.
                const int depth = formatInfo(format).depth == ChannelDepth::Bits8    ? 8
                                  : formatInfo(format).depth == ChannelDepth::Bits16 ? 15
                                                                                      : 24;
                const int tolerance = header.bitDepth <= depth ? 0 : 1 << (header.bitDepth - depth - 1);
                EXPECT_LE(maxDifference(in, out), tolerance) << tag << " " << size << " " << formatName(format);
            }
        }
    }
}

TEST(FrameConversion, VuyaChannelLayoutAndScales) {
    const Y4mHeader header = parseY4mHeader("YUV4MPEG2 W2 H1 C444p10");
    Y4mFrame frame{Y4mFrameLayout(header)};
    const int codes[3][2] = {{0, 1023}, {512, 64}, {1, 700}};  // Y, Cb, Cr at x = 0, 1
    for (int p = 0; p < 3; ++p)
        for (int x = 0; x < 2; ++x)
            setSample(frame, p, x, 0, codes[p][x]);
    for (PixelFormat format : kVuyaFormats) {
        const PixelBuffer pixels = pixelsOf(header, frame, format);
        // Memory order V, U, Y, A; integer channels rounded to their scale.
        const double full = fullScale(pixels.info);
        for (int x = 0; x < 2; ++x) {
            for (int p = 0; p < 3; ++p) {
                const double exact = codes[p][x] / 1023.0;
                const double want = pixels.info.depth == ChannelDepth::Float ? exact : std::floor(exact * full + 0.5);
                EXPECT_FLOAT_EQ(pixels.channel(x, 0, 2 - p), float(want)) << formatName(format);
            }
            EXPECT_EQ(pixels.channel(x, 0, 3), full);
        }
    }
}

// The chroma rows of an interlaced 4:2:0 frame alternate between the fields:
// chroma row 2j + f belongs to field f and covers its field rows 2j, 2j + 1.
TEST(FrameConversion, InterlacedChromaStaysWithinItsField) {
    for (int height : {8, 12, 6, 10, 2}) {
        const Y4mHeader header =
            parseY4mHeader("YUV4MPEG2 W6 H" + std::to_string(height) + " It C420mpeg2");
        Y4mFrame frame{Y4mFrameLayout(header)};
        const int chromaHeight = (height + 1) / 2;
        for (int c = 0; c < chromaHeight; ++c)
            for (int x = 0; x < 3; ++x) {
                setSample(frame, 1, x, c, 100 + c);          // field 0 rows even, field 1 odd
                setSample(frame, 2, x, c, (c & 1) ? 200 : 50);
            }
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 6; ++x)
                setSample(frame, 0, x, y, 10 * y + x);
        PixelBuffer pixels = pixelsOf(header, frame, PixelFormat::vuya);
        for (int y = 0; y < height; ++y) {
            const int field = y & 1;
            const int fieldRow = y >> 1;
            int expectedRow = 2 * (fieldRow >> 1) + field;
            while (expectedRow >= chromaHeight)
                expectedRow -= 2;  // a short last field reuses its own last chroma row
            if (expectedRow < 0)
                expectedRow = 0;  // a 2-row frame has one chroma row for both fields
            else
                EXPECT_EQ(expectedRow & 1, field);
            for (int x = 0; x < 6; ++x) {
                EXPECT_EQ(pixels.channel(x, y, 0), (expectedRow & 1) ? 200 : 50) << "height " << height << " row " << y;
                EXPECT_EQ(pixels.channel(x, y, 1), 100 + expectedRow) << "height " << height << " row " << y;
                EXPECT_EQ(pixels.channel(x, y, 2), 10 * y + x);
                EXPECT_EQ(pixels.channel(x, y, 3), 255);
            }
        }
        // Without the interlace tag the same frame is upsampled progressively:
        // luma rows 2c and 2c + 1 share chroma row c, mixing the fields.
        const FrameConverter progressive(header, PixelFormat::vuya, ColourMatrix::BT709, ChromaFields::Progressive);
        progressive.toPixels(frame, pixels.data(), pixels.rowBytes);
        for (int y = 0; y < height; ++y)
            EXPECT_EQ(pixels.channel(0, y, 1), 100 + y / 2);
    }
}

TEST(FrameConversion, OutputChromaIsTheRoundedMeanOfItsBlock) {
    // 4:2:0 4x2: two chroma samples, each the mean of a 2x2 block of U, rounded half up.
    const Y4mHeader header = parseY4mHeader("YUV4MPEG2 W4 H2 It C420jpeg");
    const int u[2][4] = {{1, 2, 0, 0}, {2, 2, 1, 1}};  // sums 7 (-> 1.75 -> 2) and 2 (-> 0.5 -> 1)
    // On the 16-bit scale the blocks hold u + 64: means 65.75 and 64.5 round
    // to 66 and 65, both code 1 (64 would be code 0).
    const struct {
        PixelFormat format;
        int codes[2];
    } cases[] = {{PixelFormat::vuya, {2, 1}}, {PixelFormat::VUya, {2, 1}}, {PixelFormat::Vuya, {1, 1}}};
    for (const auto& [format, codes] : cases) {
        const PixelFormatInfo& info = formatInfo(format);
        PixelBuffer pixels(4, 2, format);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) {
                uint8_t* at = pixels.data() + y * pixels.rowBytes + x * info.bytesPerPixel;
                if (info.depth == ChannelDepth::Bits8) {
                    at[1] = uint8_t(u[y][x]);
                } else if (info.depth == ChannelDepth::Bits16) {
                    const uint16_t value = uint16_t(u[y][x] + 64);
                    std::memcpy(at + 2, &value, 2);
                } else {
                    const float value = float(u[y][x]) / 255.0f;
                    std::memcpy(at + 4, &value, 4);
                }
            }
        Y4mFrame frame{Y4mFrameLayout(header)};
        FrameConverter(header, format).fromPixels(pixels.data(), pixels.rowBytes, frame);
        EXPECT_EQ(sample(frame, 1, 0, 0), codes[0]) << pixelFormatName(info.code);
        EXPECT_EQ(sample(frame, 1, 1, 0), codes[1]) << pixelFormatName(info.code);
    }
}

TEST(FrameConversion, RgbKnownColours) {
    struct Case {
        const char* range;
        ColourMatrix matrix;
        int y, cb, cr;
        float r, g, b;  // 0..255
    };
    const Case cases[] = {
        {"", ColourMatrix::BT601, 16, 128, 128, 0, 0, 0},
        {"", ColourMatrix::BT709, 235, 128, 128, 255, 255, 255},
        {"", ColourMatrix::BT601, 81, 90, 240, 255, 0, 0},    // BT.601 red
        {"", ColourMatrix::BT709, 63, 102, 240, 255, 0, 0},   // BT.709 red
        {"", ColourMatrix::BT709, 32, 240, 118, 0, 0, 255},   // BT.709 blue
        {"", ColourMatrix::BT601, 126, 128, 128, 128, 128, 128},
        {" XCOLORRANGE=FULL", ColourMatrix::BT601, 0, 128, 128, 0, 0, 0},
        {" XCOLORRANGE=FULL", ColourMatrix::BT601, 255, 128, 128, 255, 255, 255},
        {" XCOLORRANGE=FULL", ColourMatrix::BT601, 16, 128, 128, 16, 16, 16},
    };
    for (const Case& c : cases) {
        const Y4mHeader header = parseY4mHeader(std::string("YUV4MPEG2 W1 H1 C444") + c.range);
        Y4mFrame frame{Y4mFrameLayout(header)};
        setSample(frame, 0, 0, 0, c.y);
        setSample(frame, 1, 0, 0, c.cb);
        setSample(frame, 2, 0, 0, c.cr);
        for (PixelFormat format : {PixelFormat::argb, PixelFormat::bgra, PixelFormat::Argb, PixelFormat::BGra}) {
            const PixelFormatInfo& info = formatInfo(format);
            const PixelBuffer pixels = pixelsOf(header, frame, format, c.matrix);
            const bool argb = info.alphaAt == 0;
            const float scale = float(fullScale(info) / 255);
            const float tolerance = 1.5f * scale;
            const float want[4] = {255, c.r, c.g, c.b};  // A, R, G, B: BGRA holds them the other way round
            for (int i = 0; i < 4; ++i)
                EXPECT_NEAR(pixels.channel(0, 0, argb ? i : 3 - i), want[i] * scale, i == 0 ? 0 : tolerance)
                    << pixelFormatName(info.code) << " channel " << i << " y " << c.y;
        }
    }
}

TEST(FrameConversion, RgbIntegerChannelsClampFloatsDoNot) {
    // Limited-range Y = 254 lies above white (235), Y = 0 below black (16);
    // Y = 125 is grey 126.92 on the 8-bit scale, stored rounded.
    const Y4mHeader header = parseY4mHeader("YUV4MPEG2 W3 H1 C444");
    Y4mFrame frame{Y4mFrameLayout(header)};
    for (int x = 0; x < 3; ++x) {
        setSample(frame, 0, x, 0, x == 0 ? 254 : x == 1 ? 0 : 125);
        setSample(frame, 1, x, 0, 128);
        setSample(frame, 2, x, 0, 128);
    }
    const PixelBuffer p8 = pixelsOf(header, frame, PixelFormat::argb);
    const PixelBuffer p16 = pixelsOf(header, frame, PixelFormat::ae16);
    const PixelBuffer pf = pixelsOf(header, frame, PixelFormat::ae32);
    EXPECT_EQ(p8.channel(0, 0, 1), 255);
    EXPECT_EQ(p16.channel(0, 0, 1), 32768);
    EXPECT_NEAR(pf.channel(0, 0, 1), (254.0 - 16) / 219, 1e-5);
    EXPECT_EQ(p8.channel(1, 0, 1), 0);
    EXPECT_NEAR(pf.channel(1, 0, 1), -16.0 / 219, 1e-5);
    EXPECT_EQ(p8.channel(2, 0, 1), std::floor((125 - 16) * 255.0 / 219 + 0.5));
}

// In-gamut colours (made from RGB by the textbook equations) come back within
// one code through every RGB format deep enough to hold them.
TEST(FrameConversion, RgbRoundTripsWithinOneCode) {
    struct Case {
        const char* tag;
        const char* range;
        PixelFormat format;
        ColourMatrix matrix;
    };
    const Case cases[] = {
        {"444", "", PixelFormat::argb, ColourMatrix::BT709},
        {"444", "", PixelFormat::bgra, ColourMatrix::BT601},
        {"420jpeg", " XCOLORRANGE=FULL", PixelFormat::argb, ColourMatrix::BT601},
        {"444", "", PixelFormat::ae16, ColourMatrix::BT709},
        {"422", "", PixelFormat::Bgra, ColourMatrix::BT601},
        {"444p10", "", PixelFormat::Argb, ColourMatrix::BT709},
        {"420p12", " XCOLORRANGE=FULL", PixelFormat::Bgra, ColourMatrix::BT601},
        {"444p10", "", PixelFormat::ae32, ColourMatrix::BT709},
        {"420p16", "", PixelFormat::BGra, ColourMatrix::BT601},
        {"444p16", " XCOLORRANGE=FULL", PixelFormat::ARgb, ColourMatrix::BT709},
    };
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const Case& c : cases) {
        const Y4mHeader header = parseY4mHeader(std::string("YUV4MPEG2 W16 H16 Ip C") + c.tag + c.range);
        const Y4mFrameLayout layout(header);
        Y4mFrame in(layout), out(layout);
        const double kr = c.matrix == ColourMatrix::BT601 ? 0.299 : 0.2126;
        const double kb = c.matrix == ColourMatrix::BT601 ? 0.114 : 0.0722;
        const double scale = double(1 << (header.bitDepth - 8));
        const double maxCode = header.maxCode();
        const bool full = header.fullRange();
        // One colour per 2x2 block so that any subsampling keeps it.
        for (int by = 0; by < 8; ++by)
            for (int bx = 0; bx < 8; ++bx) {
                const double r = unit(random), g = unit(random), b = unit(random);
                const double y = kr * r + (1 - kr - kb) * g + kb * b;
                const double cb = (b - y) / (2 * (1 - kb)), cr = (r - y) / (2 * (1 - kr));
                const int yc = int(std::lround(full ? y * maxCode : (16 + 219 * y) * scale));
                const int cbc = int(std::lround(full ? (maxCode + 1) / 2 + cb * maxCode : (128 + 224 * cb) * scale));
                const int crc = int(std::lround(full ? (maxCode + 1) / 2 + cr * maxCode : (128 + 224 * cr) * scale));
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx)
                        setSample(in, 0, 2 * bx + dx, 2 * by + dy, yc);
                for (int p = 1; p < 3; ++p)
                    for (int y = 0; y < 16; ++y)
                        for (int x = 0; x < layout.width[p]; ++x)
                            if ((layout.width[p] == 16 ? x / 2 : x) == bx && (layout.height[p] == 16 ? y / 2 : y) == by)
                                setSample(in, p, x, y, p == 1 ? cbc : crc);
            }
        const FrameConverter converter(header, c.format, c.matrix);
        PixelBuffer pixels(16, 16, c.format);
        converter.toPixels(in, pixels.data(), pixels.rowBytes);
        converter.fromPixels(pixels.data(), pixels.rowBytes, out);
        // 16-bit codes hold more levels than the 0..32768 scale: one level
        // of the 16-bit buffer spans about two codes.
        const int tolerance = header.bitDepth == 16 && formatInfo(c.format).depth == ChannelDepth::Bits16 ? 2 : 1;
        EXPECT_LE(maxDifference(in, out), tolerance) << c.tag << " " << formatName(c.format);
    }
}

TEST(FrameConversion, MonoGetsNeutralChroma) {
    const Y4mHeader header = parseY4mHeader("YUV4MPEG2 W3 H2 Cmono10");
    Y4mFrame frame{Y4mFrameLayout(header)};
    for (int x = 0; x < 3; ++x)
        setSample(frame, 0, x, 1, 300 * x + 64);
    const PixelBuffer vuya = pixelsOf(header, frame, PixelFormat::Vuya);
    const PixelBuffer rgb = pixelsOf(header, frame, PixelFormat::argb);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(vuya.channel(x, 1, 0), std::floor(512 * 32768.0 / 1023 + 0.5));
        EXPECT_EQ(vuya.channel(x, 1, 1), vuya.channel(x, 1, 0));
        EXPECT_EQ(rgb.channel(x, 1, 1), rgb.channel(x, 1, 2));
        EXPECT_EQ(rgb.channel(x, 1, 2), rgb.channel(x, 1, 3));
    }
    EXPECT_EQ(rgb.channel(0, 1, 1), 0.0f);  // code 64 is black at 10 bits
}

TEST(FrameConversion, OutOfRangeCodesAndHostileFloatsStayInRange) {
    // A 10-bit stream may carry any 16-bit value; the conversion clamps it.
    const Y4mHeader header = parseY4mHeader("YUV4MPEG2 W2 H2 C420p10");
    Y4mFrame frame{Y4mFrameLayout(header)}, back{Y4mFrameLayout(header)};
    std::memset(frame.data(), 0xff, size_t(frame.size()));
    EXPECT_EQ(pixelsOf(header, frame, PixelFormat::Vuya).channel(1, 1, 2), 32768.0f);
    PixelBuffer floats(2, 2, PixelFormat::VUya);
    const float hostile[4] = {NAN, -5.0f, INFINITY, 1e30f};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            std::memcpy(floats.data() + y * floats.rowBytes + x * 16, hostile, 16);
    FrameConverter(header, PixelFormat::VUya).fromPixels(floats.data(), floats.rowBytes, back);
    EXPECT_EQ(sample(back, 0, 0, 0), 1023);  // Y = +inf
    EXPECT_EQ(sample(back, 1, 0, 0), 0);     // U = -5
    EXPECT_EQ(sample(back, 2, 0, 0), 0);     // V = NaN
}
