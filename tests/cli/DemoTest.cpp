// The demo as a user meets it: the scene it synthesises, the PSNR table it
// prints and the pictures it writes. The frames-per-second column is timing
// and is left alone.
#include "CliTestFiles.h"

#include "cli/BitmapText.h"
#include "cli/Demo.h"
#include "cli/DemoScene.h"
#include "cli/Y4mReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

using namespace cli;

namespace {

constexpr int kFrames = 7;  // the last one is frame 6, the one shown
constexpr int kShown = 6;
const char* const kClips[] = {"interlaced", "velmora-off", "velmora-fast", "velmora-better", "velmora-best", "truth"};

// The demo takes a few seconds: it runs once for every test here.
struct DemoRun {
    TempFolder folder;
    std::string dir = folder.path().string();
    std::vector<std::string> lines;

    DemoRun() {
        DemoSettings settings;
        settings.folder = dir;
        settings.pluginPath = VELMORA_PLUGIN_PATH;
        settings.threads = 2;
        settings.frames = kFrames;
        std::ostringstream out;
        runDemo(settings, out);
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
    }
};

const DemoRun& demoRun() {
    static const DemoRun run;
    return run;
}

std::vector<Y4mFrame> readClip(const std::string& path, Y4mHeader* header = nullptr) {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    Y4mReader reader(f.get(), path);
    if (header != nullptr)
        *header = reader.header();
    std::vector<Y4mFrame> frames;
    for (Y4mFrame frame(reader.layout()); reader.readFrame(frame); frame = Y4mFrame(reader.layout()))
        frames.push_back(std::move(frame));
    return frames;
}

std::vector<Y4mFrame> clip(const std::string& name) { return readClip(demoRun().dir + "/" + name + ".y4m"); }

// Luma PSNR over frames 2 on, in [left, right) x [top, bottom); infinite when equal.
double psnr(const std::vector<Y4mFrame>& a, const std::vector<Y4mFrame>& b, int left, int top, int right, int bottom) {
    double sum = 0;
    int64_t n = 0;
    for (size_t i = 2; i < a.size(); ++i)
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x, ++n)
                sum += std::pow(double(sample(a[i], 0, x, y)) - sample(b[i], 0, x, y), 2);
    return sum == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * double(n) / sum);
}

// BT.601 limited range, chroma from the co-sited sample.
void rgbOf(const Y4mFrame& f, int x, int y, uint8_t* rgb) {
    const double Y = 1.164 * (sample(f, 0, x, y) - 16.0);
    const double U = sample(f, 1, x / 2, y / 2) - 128.0, V = sample(f, 2, x / 2, y / 2) - 128.0;
    const double c[3] = {Y + 1.596 * V, Y - 0.392 * U - 0.813 * V, Y + 2.017 * U};
    for (int i = 0; i < 3; ++i)
        rgb[i] = uint8_t(std::lround(std::clamp(c[i], 0.0, 255.0)));
}

} // namespace

// Values worked from the scene's formulas in an independent computation (in
// double precision, at points well away from a rounding boundary): one or two
// per quarter, the moving disc and bar, chroma as the mean of a 2x2 block.
TEST(Demo, SceneIsTheDescribedOne) {
    Y4mHeader header;
    const std::vector<Y4mFrame> truth = readClip(demoRun().dir + "/truth.y4m", &header);
    ASSERT_EQ(truth.size(), size_t(kFrames));
    // One truth frame per interlaced frame.
    EXPECT_EQ(formatY4mHeader(header), "YUV4MPEG2 W320 H240 F25:1 Ip A1:1 C420jpeg\n");
    struct Sample {
        int t, plane, x, y, value;  // t: scene time, two per interlaced frame
    };
    const Sample samples[] = {
        {0, 0, 37, 41, 101},   {4, 0, 101, 7, 117},  {2, 0, 150, 110, 140},  // static texture
        {0, 0, 200, 50, 152},  {4, 0, 300, 100, 176},                        // pan
        {0, 0, 0, 134, 25},    {0, 0, 0, 145, 200},   {0, 0, 50, 151, 200},  // lines and between
        {4, 0, 192, 190, 230}, {0, 0, 231, 190, 107},                        // disc centre, edge
        {4, 0, 250, 140, 180}, {4, 0, 250, 131, 67},  {4, 0, 300, 230, 133}, // bar, above it, gradient
        {0, 1, 20, 20, 111},   {0, 2, 20, 20, 142},   {4, 1, 60, 40, 114},  {2, 1, 45, 75, 131},
    };
    for (const Sample& s : samples)
        EXPECT_EQ(sample(truth[size_t(s.t / 2)], s.plane, s.x, s.y), s.value)
            << "t " << s.t << " plane " << s.plane << " at " << s.x << "," << s.y;
    // The pan moves 1.5 pixels a moment: 3 pixels a truth frame.
    for (int y = 0; y < 120; ++y)
        for (int x = 160; x < 317; ++x)
            ASSERT_EQ(sample(truth[1], 0, x, y), sample(truth[0], 0, x + 3, y)) << x << "," << y;

    // The interlaced clip weaves moment 2i (even rows) with moment 2i + 1.
    const std::vector<Y4mFrame> interlaced = clip("interlaced");
    ASSERT_EQ(interlaced.size(), size_t(kFrames));
    const Y4mFrameLayout& l = truth[0].layout();
    Y4mFrame later(l);
    for (int i = 0; i < kFrames; ++i) {
        DemoScene().render(2 * i + 1, later);
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < l.height[p]; ++y)
                ASSERT_TRUE(std::equal(interlaced[size_t(i)].row<uint8_t>(p, y),
                                       interlaced[size_t(i)].row<uint8_t>(p, y) + l.width[p],
                                       (y % 2 == 0 ? truth[size_t(i)] : later).row<uint8_t>(p, y)))
                    << "frame " << i << " plane " << p << " row " << y;
    }
}

// The table holds, per clip, the PSNR of the whole picture and of each quarter,
// computed here from the clips the demo wrote.
TEST(Demo, TableShowsThePsnrOfTheClipsWritten) {
    const DemoRun& run = demoRun();
    ASSERT_EQ(run.lines.size(), 14u);
    // Lines 2 to 4 are fixed prose.
    EXPECT_EQ(run.lines[0], "Velmora demo: 320x240 4:2:0, 7 interlaced frames (upper field first), 2 threads");
    EXPECT_EQ(run.lines[1], "PSNR-Y against the progressive truth, frames 2 to 6,");
    EXPECT_EQ(run.lines[5], "PSNR-Y (dB)           whole  static    pan  lines  moving      fps");
    EXPECT_EQ(run.lines[11], "");
    EXPECT_EQ(run.lines[12], "Wrote " + run.dir + "/{truth,interlaced,velmora-off,-fast,-better,-best}.y4m and .png (frame 6),");
    EXPECT_EQ(run.lines[13], "  " + run.dir + "/compare.png: 2x crop of frame 6, left to right: interlaced, Off, Fast, Better, Best, truth");

    const std::vector<Y4mFrame> truth = clip("truth");
    const char* const names[] = {"interlaced (weave)", "Off", "Fast", "Better", "Best"};
    const int columnEnds[] = {27, 35, 42, 49, 57};  // right-aligned under the heading
    const int regions[][4] = {{0, 0, 320, 240}, {0, 0, 160, 120}, {160, 0, 320, 120}, {0, 120, 160, 240},
                              {160, 120, 320, 240}};
    for (int r = 0; r < 5; ++r) {
        const std::string& line = run.lines[size_t(6 + r)];
        SCOPED_TRACE(line);
        ASSERT_GE(line.size(), 57u);
        EXPECT_EQ(line.substr(0, 20), (names[r] + std::string(20, ' ')).substr(0, 20));
        const std::vector<Y4mFrame> result = clip(kClips[r]);
        for (int c = 0; c < 5; ++c) {
            const int start = c == 0 ? 20 : columnEnds[c - 1];
            const std::string cell = line.substr(size_t(start), size_t(columnEnds[c] - start));
            const double want = psnr(result, truth, regions[c][0], regions[c][1], regions[c][2], regions[c][3]);
            if (std::isinf(want))
                EXPECT_EQ(cell.substr(cell.find_first_not_of(' ')), "exact");
            else
                EXPECT_NEAR(std::stod(cell), want, 0.005 + 1e-9) << "column " << c;
        }
        EXPECT_EQ(line.size() > 57, r > 0) << "frames per second for the plug-in's rows only";
    }
}

// Every picture is frame 6 in RGB; compare.png sets 2x crops of the clips side
// by side, from (100, 60), 160 x 160 each, 4 white columns apart, below a
// 36-row strip where each is labelled with its name in black.
TEST(Demo, PicturesShowTheShownFrame) {
    const DemoRun& run = demoRun();
    std::vector<std::vector<Y4mFrame>> clips;
    for (const char* name : kClips)
        clips.push_back(clip(name));
    for (size_t c = 0; c < clips.size(); ++c) {
        int width = 0, height = 0;
        const std::vector<uint8_t> png = readPng(run.dir + "/" + kClips[c] + ".png", width, height);
        ASSERT_EQ(std::pair(width, height), std::pair(320, 240)) << kClips[c];
        uint8_t want[3];
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                rgbOf(clips[c][kShown], x, y, want);
                ASSERT_TRUE(std::equal(want, want + 3, &png[size_t(y * width + x) * 3]))
                    << kClips[c] << " at " << x << "," << y;
            }
    }
    int width = 0, height = 0;
    const std::vector<uint8_t> compare = readPng(run.dir + "/compare.png", width, height);
    constexpr int strip = 36;
    ASSERT_EQ(std::pair(width, height), std::pair(6 * 320 + 5 * 4, strip + 320));
    for (int y = strip; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int panel = x / 324, inPanel = x % 324;
            uint8_t want[3] = {255, 255, 255};
            if (inPanel < 320)
                rgbOf(clips[size_t(panel)][kShown], 100 + inPanel / 2, 60 + (y - strip) / 2, want);
            ASSERT_TRUE(std::equal(want, want + 3, &compare[size_t(y * width + x) * 3])) << x << "," << y;
        }
    // The strip holds each panel's label as the font draws it (every letter
    // one it has), in black: white where the text leaves the strip blank.
    const char* const labels[] = {"interlaced", "Off", "Fast", "Better", "Best", "truth"};
    std::vector<uint8_t> drawn(size_t(width) * strip * 3, 255);
    for (int panel = 0; panel < 6; ++panel) {
        const int textW = cli::bitmapTextWidth(labels[panel], 3);
        cli::drawBitmapText(drawn.data(), width, strip, int64_t(width) * 3, panel * 324 + (320 - textW) / 2, 7,
                            labels[panel], 3, {0, 0, 0});
        for (const char* c = labels[panel]; *c != 0; ++c)
            EXPECT_TRUE(cli::hasGlyph(*c)) << *c;
    }
    EXPECT_TRUE(std::equal(drawn.begin(), drawn.end(), compare.begin()));
    std::set<std::string> files{"compare.png"};
    for (const char* name : kClips)
        for (const char* suffix : {".png", ".y4m"})
            files.insert(name + std::string(suffix));
    const std::vector<std::string> written = run.folder.entries();
    EXPECT_EQ(std::set<std::string>(written.begin(), written.end()), files);
}
