#include "cli/Demo.h"

#include "cli/OutputFile.h"
#include "cli/BitmapText.h"
#include "cli/CliError.h"
#include "cli/DeinterlaceStream.h"
#include "cli/DemoScene.h"
#include "cli/FieldWeave.h"
#include "cli/LumaPsnr.h"
#include "cli/PluginSession.h"
#include "cli/PngWriter.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <vector>

namespace cli {

namespace {

constexpr int kShownFrame = 6;
constexpr int kSkippedFrames = 2;
// The crop of compare.png: a corner of each quarter of the scene.
constexpr int kCropX = 100, kCropY = 60, kCropW = 160, kCropH = 160, kCropScale = 2, kGap = 4;
// compare.png's labels: a strip above the panels, black text at 3 pixels a
// font cell (21 pixels high), centred on each panel.
constexpr int kLabelStrip = 36, kLabelScale = 3;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openForReading(const std::string& path) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f)
        throw CliError(path + ": cannot open");
    return f;
}

void writeClip(const std::string& path, const Y4mHeader& header, const std::vector<Y4mFrame>& frames) {
    OutputFile file(path);
    Y4mWriter writer(file.file(), header, path, Y4mWriter::Tag::AsGiven);
    for (const Y4mFrame& f : frames)
        writer.writeFrame(f);
    writer.flush();
    file.commit();
}

std::vector<Y4mFrame> readClip(const std::string& path) {
    File f = openForReading(path);
    Y4mReader reader(f.get(), path);
    std::vector<Y4mFrame> frames;
    frames.emplace_back(reader.layout());
    while (reader.readFrame(frames.back()))
        frames.emplace_back(reader.layout());
    frames.pop_back();
    return frames;
}

// BT.601 limited range to 8-bit RGB, chroma by nearest sample.
void rgbOf(const Y4mFrame& f, int x, int y, uint8_t* rgb) {
    const Y4mFrameLayout& l = f.layout();
    const int cx = x * l.width[1] / l.width[0], cy = y * l.height[1] / l.height[0];
    const double Y = 1.164 * (f.row<uint8_t>(0, y)[x] - 16.0);
    const double U = f.row<uint8_t>(1, cy)[cx] - 128.0, V = f.row<uint8_t>(2, cy)[cx] - 128.0;
    const double c[3] = {Y + 1.596 * V, Y - 0.392 * U - 0.813 * V, Y + 2.017 * U};
    for (int i = 0; i < 3; ++i)
        rgb[i] = uint8_t(std::lround(std::clamp(c[i], 0.0, 255.0)));
}

void writeWholePng(const std::string& path, const Y4mFrame& f) {
    const int w = f.layout().width[0], h = f.layout().height[0];
    std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            rgbOf(f, x, y, &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3]);
    writePngRgb8(path, w, h, rgb.data(), int64_t(w) * 3);
}

struct ComparePanel {
    const Y4mFrame* frame;
    std::string label;
};

void writeComparePng(const std::string& path, const std::vector<ComparePanel>& panels) {
    const int panelW = kCropW * kCropScale, panelH = kCropH * kCropScale;
    const int w = int(panels.size()) * (panelW + kGap) - kGap, h = kLabelStrip + panelH;
    std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3, 255);
    for (size_t p = 0; p < panels.size(); ++p) {
        const int left = int(p) * (panelW + kGap);
        const int textW = cli::bitmapTextWidth(panels[p].label, kLabelScale);
        static constexpr uint8_t black[3] = {0, 0, 0};
        cli::drawBitmapText(rgb.data(), w, h, int64_t(w) * 3, left + (panelW - textW) / 2,
                            (kLabelStrip - cli::kGlyphHeight * kLabelScale) / 2, panels[p].label, kLabelScale, black);
        for (int y = 0; y < panelH; ++y) {
            for (int x = 0; x < panelW; ++x) {
                const size_t at = (size_t(kLabelStrip + y) * size_t(w) + size_t(left + x)) * 3;
                rgbOf(*panels[p].frame, kCropX + x / kCropScale, kCropY + y / kCropScale, &rgb[at]);
            }
        }
    }
    writePngRgb8(path, w, h, rgb.data(), int64_t(w) * 3);
}

// PSNR-Y of the whole picture, then of each quarter of the scene.
std::vector<double> psnrFrom(const std::vector<Y4mFrame>& result, const std::vector<Y4mFrame>& truth) {
    const int w = truth.front().layout().width[0], h = truth.front().layout().height[0];
    const LumaRegion regions[] = {{0, 0, w, h},
                                  {0, 0, w / 2, h / 2},
                                  {w / 2, 0, w, h / 2},
                                  {0, h / 2, w / 2, h},
                                  {w / 2, h / 2, w, h}};
    std::vector<double> psnr;
    for (const LumaRegion& region : regions) {
        LumaError error;
        for (size_t i = kSkippedFrames; i < std::min(result.size(), truth.size()); ++i)
            error.add(result[i], truth[i], region);
        psnr.push_back(error.psnr(8));
    }
    return psnr;
}

std::string lowerName(MotionMode m) {
    std::string s = motionModeName(m);
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

void runDemo(const DemoSettings& settings, std::ostream& out) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(settings.folder, ec);
    if (ec)
        throw CliError(settings.folder + ": cannot create the folder: " + ec.message());
    const std::string dir = settings.folder + "/";

    const DemoScene scene;
    const Y4mHeader progressive = scene.header();
    const Y4mFrameLayout layout(progressive);
    std::vector<Y4mFrame> truth, interlaced;
    Y4mFrame lower(layout);
    for (int i = 0; i < settings.frames; ++i) {
        Y4mFrame& upper = truth.emplace_back(layout);
        scene.render(2 * i, upper);
        scene.render(2 * i + 1, lower);
        weaveFields(upper, lower, interlaced.emplace_back(layout));
    }
    // The truth of interlaced frame i is the moment of its upper field.
    const Y4mHeader interlacedHeader = interlacedHeaderOf(progressive);
    Y4mHeader truthHeader = interlacedHeader;
    truthHeader.interlace = Y4mInterlace::Progressive;
    writeClip(dir + "truth.y4m", truthHeader, truth);
    writeClip(dir + "interlaced.y4m", interlacedHeader, interlaced);

    PluginSession session(settings.pluginPath, settings.host, settings.threads);
    out << "Velmora demo: " << progressive.width << "x" << progressive.height << " 4:2:0, " << settings.frames
        << " interlaced frames (upper field first), " << session.host().workerThreads() << " threads\n"
        << "PSNR-Y against the progressive truth, frames " << kSkippedFrames << " to " << settings.frames - 1
        << ",\nwhole picture and per quarter: static texture, pan over fine detail, thin\n"
        << "near-horizontal lines, moving disc and bar (\"exact\": no difference)\n\n"
        << "PSNR-Y (dB)           whole  static    pan  lines  moving      fps\n";
    auto row = [&](const std::string& name, const std::vector<double>& psnr, double fps) {
        out << std::left << std::setw(20) << name << std::right << std::fixed << std::setprecision(2);
        const int widths[] = {7, 8, 7, 7, 8};
        for (size_t i = 0; i < psnr.size(); ++i) {
            if (std::isinf(psnr[i]))
                out << std::setw(widths[i]) << "exact";
            else
                out << std::setw(widths[i]) << psnr[i];
        }
        if (fps > 0)
            out << std::setw(9) << std::setprecision(1) << fps;
        out << '\n' << std::flush;
    };
    row("interlaced (weave)", psnrFrom(interlaced, truth), 0);

    std::vector<std::vector<Y4mFrame>> results;
    const MotionMode modes[] = {MotionMode::Off, MotionMode::Fast, MotionMode::Better, MotionMode::Best};
    for (MotionMode mode : modes) {
        const std::string path = dir + "velmora-" + lowerName(mode) + ".y4m";
        File in = openForReading(dir + "interlaced.y4m");
        Y4mReader reader(in.get(), dir + "interlaced.y4m");
        StreamSettings stream;
        stream.params.motion = A_long(mode);
        stream.format = defaultPixelFormat(reader.header().bitDepth);
        StreamResult result;
        {
            OutputFile file(path);
            Y4mWriter writer(file.file(), reader.header(), path);
            result = deinterlaceStream(session.driver(), reader, writer, stream);
            writer.flush();
            file.commit();
        }
        results.push_back(readClip(path));
        row(motionModeName(mode), psnrFrom(results.back(), truth),
            result.seconds > 0 ? double(result.frames) / result.seconds : 0);
    }

    const int shown = std::min(kShownFrame, settings.frames - 1);
    std::vector<ComparePanel> panels{{&interlaced[size_t(shown)], "interlaced"}};
    writeWholePng(dir + "interlaced.png", interlaced[size_t(shown)]);
    for (size_t m = 0; m < results.size(); ++m) {
        panels.push_back({&results[m][size_t(shown)], motionModeName(modes[m])});
        writeWholePng(dir + "velmora-" + lowerName(modes[m]) + ".png", results[m][size_t(shown)]);
    }
    panels.push_back({&truth[size_t(shown)], "truth"});
    writeWholePng(dir + "truth.png", truth[size_t(shown)]);
    writeComparePng(dir + "compare.png", panels);
    out << "\nWrote " << dir << "{truth,interlaced,velmora-off,-fast,-better,-best}.y4m and .png (frame " << shown
        << "),\n  " << dir << "compare.png: 2x crop of frame " << shown
        << ", left to right: interlaced, Off, Fast, Better, Best, truth\n";
}

} // namespace cli
