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
#include <sstream>

using namespace cli;

namespace {

Y4mHeader header420(int w, int h, const std::string& rest = "F50:1 C420jpeg") {
    return parseY4mHeader("YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) + " " + rest);
}

} // namespace

// Which rows come from which frame is checked where frames are woven: the
// interlace command and the demo's interlaced clip. A frame of another layout
// is refused, whichever of the two it is.
TEST(FieldWeave, FramesOfAnotherLayoutAreRefused) {
    const Y4mFrameLayout layout(header420(6, 8));
    Y4mFrame a(layout), out(layout);
    const Y4mFrame small{Y4mFrameLayout(header420(6, 4))};
    EXPECT_THROW(weaveFields(a, small, out), CliError);
    EXPECT_THROW(weaveFields(small, a, out), CliError);
}

// Halving keeps the rate exact: the even one of numerator and denominator is
// divided, otherwise the denominator doubled.
TEST(FieldWeave, HeaderHalvesTheRateAndMarksUpperFirst) {
    EXPECT_EQ(formatY4mHeader(interlacedHeaderOf(header420(4, 4))), "YUV4MPEG2 W4 H4 F25:1 It C420jpeg\n");
    EXPECT_EQ(interlacedHeaderOf(header420(4, 4, "F60000:1001")).frameRate, "30000:1001");
    EXPECT_EQ(interlacedHeaderOf(header420(4, 4, "F25:1")).frameRate, "25:2");
}

// The demo's table checks whole 8-bit pictures and quarters inside them; here
// the peak of deeper frames, regions cut to the picture, chroma left out, and
// the sums over several frames.
TEST(LumaError, PsnrFromTheMeanSquaredErrorOfTheRegionOverAllFrames) {
    const Y4mFrameLayout layout(header420(4, 4, "C420p10"));
    Y4mFrame a(layout), b(layout);
    LumaError none;
    none.add(a, b);
    EXPECT_TRUE(std::isinf(none.psnr(10)));
    EXPECT_TRUE(std::isnan(LumaError{}.psnr(10)));
    b.row<uint16_t>(0, 0)[0] = 10;   // outside the region below
    b.row<uint16_t>(0, 3)[3] = 600;  // inside: squared 360000
    b.row<uint16_t>(1, 1)[1] = 200;  // chroma does not count
    LumaError e;
    e.add(a, b, LumaRegion{2, 2, 9, 9});  // cut to 2..4 x 2..4: 4 samples
    b.row<uint16_t>(0, 3)[3] = 0;
    b.row<uint16_t>(0, 2)[2] = 300;  // squared 90000
    e.add(a, b, LumaRegion{2, 2, 9, 9});
    EXPECT_EQ(e.samples, 8);
    EXPECT_NEAR(e.psnr(10), 10 * std::log10(1023.0 * 1023.0 / (450000.0 / 8)), 1e-9);
    LumaError empty;
    empty.add(a, b, LumaRegion{3, 3, 1, 1});
    EXPECT_EQ(empty.samples, 0);
}

TEST(InterlaceCommand, PairsOfFramesBecomeOneAndTheTruthIsTheUpperFieldsFrame) {
    TempFolder folder;
    const auto input = folder.path() / "p.y4m";
    const Y4mHeader h = header420(4, 4, "F50:1 Ip C420jpeg");
    std::string bytes = formatY4mHeader(h);
    const Y4mFrameLayout layout(h);
    for (int t = 0; t < 5; ++t)  // the fifth frame has no partner and is dropped
        bytes += "FRAME\n" + std::string(size_t(layout.frameBytes), char('a' + t));
    std::ofstream(input, std::ios::binary) << bytes;
    std::ostringstream out;
    ASSERT_EQ(runCommand(parseCliOptions({"interlace", input.string(), (folder.path() / "i.y4m").string(),
                                          (folder.path() / "t.y4m").string()}),
                         out),
              0);
    const std::string woven = readFile(folder.path() / "i.y4m"), truth = readFile(folder.path() / "t.y4m");
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
