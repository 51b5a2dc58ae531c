// Weaving progressive frames into interlaced ones, and the luma error used by
// the demo's table.
#include "CliTestFiles.h"

#include "cli/CliError.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/FieldWeave.h"
#include "cli/LumaPsnr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

using namespace cli;

namespace {

Y4mHeader header420(int w, int h, int bits = 8) {
    Y4mHeader hd;
    hd.width = w;
    hd.height = h;
    hd.bitDepth = bits;
    hd.chroma = Y4mChroma::C420;
    hd.frameRate = "50:1";
    hd.frameRateNum = 50;
    hd.frameRateDen = 1;
    return hd;
}

} // namespace

TEST(FieldWeave, EvenRowsFromTheFirstFrameOddRowsFromTheSecond) {
    const Y4mFrameLayout layout(header420(6, 8));
    Y4mFrame a(layout), b(layout), out(layout);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < layout.height[p]; ++y)
            for (int x = 0; x < layout.width[p]; ++x) {
                a.row<uint8_t>(p, y)[x] = uint8_t(10 * p + y);
                b.row<uint8_t>(p, y)[x] = uint8_t(100 + 10 * p + y);
            }
    weaveFields(a, b, out);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < layout.height[p]; ++y)
            for (int x = 0; x < layout.width[p]; ++x)
                EXPECT_EQ(out.row<uint8_t>(p, y)[x], (y % 2 == 0 ? 0 : 100) + 10 * p + y) << p << " " << y;
    // A frame of another layout is refused, whichever of the two it is.
    const Y4mFrame small{Y4mFrameLayout(header420(6, 4))};
    EXPECT_THROW(weaveFields(a, small, out), CliError);
    EXPECT_THROW(weaveFields(small, b, out), CliError);
}

TEST(FieldWeave, HeaderHalvesTheRateAndMarksUpperFirst) {
    Y4mHeader h = interlacedHeaderOf(header420(4, 4));
    EXPECT_EQ(h.interlace, Y4mInterlace::TopFirst);
    EXPECT_EQ(h.frameRate, "25:1");
    Y4mHeader ntsc = header420(4, 4);
    ntsc.frameRate = "60000:1001";
    ntsc.frameRateNum = 60000;
    ntsc.frameRateDen = 1001;
    EXPECT_EQ(interlacedHeaderOf(ntsc).frameRate, "30000:1001");
    Y4mHeader odd = header420(4, 4);
    odd.frameRate = "25:1";
    odd.frameRateNum = 25;
    EXPECT_EQ(interlacedHeaderOf(odd).frameRate, "25:2");
}

TEST(LumaError, PsnrFromTheMeanSquaredErrorOverAllFrames) {
    const Y4mFrameLayout layout(header420(4, 2));
    Y4mFrame a(layout), b(layout);
    LumaError none;
    none.add(a, b);
    EXPECT_TRUE(std::isinf(none.psnr(8)));
    EXPECT_TRUE(std::isnan(LumaError{}.psnr(8)));
    // Frame 1: one sample off by 8 (squared 64); frame 2: two off by 4 (32).
    // Mean over 16 samples: 96 / 16 = 6. Chroma differences do not count.
    b.row<uint8_t>(0, 1)[3] = 8;
    b.row<uint8_t>(1, 0)[0] = 200;
    LumaError e;
    e.add(a, b);
    b.row<uint8_t>(0, 1)[3] = 0;
    b.row<uint8_t>(0, 0)[0] = 4;
    b.row<uint8_t>(0, 0)[1] = 4;
    e.add(a, b);
    EXPECT_EQ(e.samples, 16);
    EXPECT_NEAR(e.psnr(8), 10 * std::log10(255.0 * 255.0 / 6.0), 1e-9);
}

TEST(LumaError, DeepFramesUseTheirPeak) {
    const Y4mFrameLayout layout(header420(2, 2, 10));
    Y4mFrame a(layout), b(layout);
    b.row<uint16_t>(0, 0)[0] = 1000;  // squared 10^6 over 4 samples
    LumaError e;
    e.add(a, b);
    EXPECT_NEAR(e.psnr(10), 10 * std::log10(1023.0 * 1023.0 / 250000.0), 1e-9);
}

TEST(LumaError, RegionCountsOnlyItsSamplesCutToThePicture) {
    const Y4mFrameLayout layout(header420(4, 4));
    Y4mFrame a(layout), b(layout);
    b.row<uint8_t>(0, 0)[0] = 10;  // outside the region below
    b.row<uint8_t>(0, 3)[3] = 6;   // inside: squared 36
    LumaError e;
    e.add(a, b, LumaRegion{2, 2, 9, 9});  // cut to 2..4 x 2..4: 4 samples
    EXPECT_EQ(e.samples, 4);
    EXPECT_EQ(e.squaredError, 36.0);
    LumaError empty;
    empty.add(a, b, LumaRegion{3, 3, 1, 1});
    EXPECT_EQ(empty.samples, 0);
}

TEST(InterlaceCommand, PairsOfFramesBecomeOneAndTheTruthIsTheUpperFieldsFrame) {
    TempFolder folder;
    const auto input = folder.path() / "p.y4m";
    Y4mHeader h = header420(4, 4);
    h.interlace = Y4mInterlace::Progressive;
    std::string bytes = formatY4mHeader(h);
    const Y4mFrameLayout layout(h);
    for (int t = 0; t < 5; ++t)  // the fifth frame has no partner and is dropped
        bytes += "FRAME\n" + std::string(size_t(layout.frameBytes), char('a' + t));
    {
        FilePtr f(std::fopen(input.string().c_str(), "wb"));
        std::fwrite(bytes.data(), 1, bytes.size(), f.get());
    }
    std::ostringstream out;
    ASSERT_EQ(runCommand(parseCliOptions({"interlace", input.string(), (folder.path() / "i.y4m").string(),
                                          (folder.path() / "t.y4m").string()}),
                         out),
              0);
    auto read = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string woven = read(folder.path() / "i.y4m"), truth = read(folder.path() / "t.y4m");
    EXPECT_EQ(woven.substr(0, woven.find('\n')), "YUV4MPEG2 W4 H4 F25:1 It C420jpeg");
    EXPECT_EQ(truth.substr(0, truth.find('\n')), "YUV4MPEG2 W4 H4 F25:1 Ip C420jpeg");
    // Luma rows alternate a/b, then c/d; the truth holds frames a and c.
    const size_t f0 = woven.find("FRAME\n") + 6;
    EXPECT_EQ(woven.substr(f0, 16), "aaaabbbbaaaabbbb");
    const size_t f1 = woven.find("FRAME\n", f0) + 6;
    EXPECT_EQ(woven.substr(f1, 8), "ccccdddd");
    EXPECT_EQ(woven.find("FRAME\n", f1), std::string::npos);
    EXPECT_EQ(truth.size(), 2 * (6 + size_t(layout.frameBytes)) + truth.find('\n') + 1);
    EXPECT_EQ(truth.substr(truth.find("FRAME\n") + 6, 4), "aaaa");
}
