// The command end to end: the streaming loop gives what the reference host
// returns when driven directly over the whole clip, holds at most three input
// frames, and failing runs report one error and leave no output file.
#include "CliTestFiles.h"

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/DeinterlaceStream.h"
#include "cli/FieldWeave.h"
#include "cli/IgnoreSigpipe.h"
#include "cli/PluginSession.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <future>
#include <numeric>
#include <sstream>
#include <unistd.h>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

using namespace cli;
using namespace refhost;

namespace {

#ifdef _WIN32
int pipe(int fds[2]) { return _pipe(fds, 1 << 16, _O_BINARY); }

long peakKilobytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return long(counters.PeakWorkingSetSize >> 10);
}
#else
long peakKilobytes() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
#endif

constexpr int kW = 40, kH = 24, kFrames = 6;

Y4mHeader clipHeader(int bits = 8) {
    return parseY4mHeader("YUV4MPEG2 W" + std::to_string(kW) + " H" + std::to_string(kH) + " F25:1 It C" +
                          (bits == 8 ? "420jpeg" : "420p" + std::to_string(bits)));
}

// Textured pictures moving two pixels right per frame, fields included (odd
// rows a pixel further), so every mode has something to do.
void drawFrame(int t, Y4mFrame& f) {
    const Y4mFrameLayout& l = f.layout();
    const int max = l.sampleBytes == 1 ? 255 : 1023;
    for (int p = 0; p < l.planes; ++p)
        for (int y = 0; y < l.height[p]; ++y)
            for (int x = 0; x < l.width[p]; ++x) {
                const double u = x - 2.0 * t - (y % 2), v = y;
                const double s = 0.5 + 0.3 * std::sin(u * 0.8 + p) * std::cos(v * 0.5) + 0.15 * std::sin(u * 0.23 + v);
                setSample(f, p, x, y, int(std::lround(s * max)));
            }
}

void writeClip(const std::filesystem::path& path, const Y4mHeader& h, int frames,
               const std::function<void(int, Y4mFrame&)>& draw = drawFrame) {
    FilePtr out(std::fopen(path.string().c_str(), "wb"));
    Y4mWriter writer(out.get(), h, path.string(), Y4mWriter::Tag::AsGiven);
    Y4mFrame f{Y4mFrameLayout(h)};
    for (int t = 0; t < frames; ++t) {
        draw(t, f);
        writer.writeFrame(f);
    }
    writer.flush();
}

// An input file read and an output file written, as the command opens them.
struct StreamFiles {
    StreamFiles(const std::filesystem::path& input, const std::filesystem::path& output, bool fieldRate = false)
        : in(std::fopen(input.string().c_str(), "rb")), out(std::fopen(output.string().c_str(), "wb")),
          reader(in.get(), "input"),
          writer(out.get(), fieldRate ? fieldRateHeaderOf(reader.header()) : reader.header(), "output") {}
    FilePtr in, out;
    Y4mReader reader;
    Y4mWriter writer;
};

struct Streamed {
    std::string bytes;
    StreamResult result;
};

Streamed streamThrough(const std::vector<RenderDriver*>& jobs, const std::filesystem::path& input,
                       const std::filesystem::path& output, const StreamSettings& settings) {
    Streamed s;
    {
        StreamFiles files(input, output, settings.fieldRate);
        s.result = deinterlaceStream(jobs, files.reader, files.writer, settings);
        files.writer.flush();
    }
    s.bytes = readFile(output);
    return s;
}

Streamed streamThrough(PluginSession& session, const std::filesystem::path& input, const std::filesystem::path& output,
                       const StreamSettings& settings) {
    return streamThrough({&session.driver()}, input, output, settings);
}

std::string framesOf(const std::string& stream) { return stream.substr(stream.find('\n') + 1); }

// The same frames rendered by driving the host directly over one clip that
// holds every frame, converted with an independent converter.
std::string drivenDirectly(PluginSession& session, const std::filesystem::path& input, const StreamSettings& settings) {
    FilePtr in(std::fopen(input.string().c_str(), "rb"));
    Y4mReader reader(in.get(), "input");
    const FrameConverter converter(reader.header(), settings.format, settings.matrix);
    const size_t rowBytes = size_t(converter.rowBytes());
    Clip clip(PF_PixelFormat(pixelFormatCode(settings.format)), kW, kH);
    Y4mFrame frame(reader.layout());
    while (reader.readFrame(frame)) {
        std::vector<uint8_t> pixels(rowBytes * kH);
        converter.toPixels(frame, pixels.data(), int64_t(rowBytes));
        clip.addFrame(std::move(pixels));
    }
    Y4mHeader progressive = reader.header();
    progressive.interlace = Y4mInterlace::Progressive;
    std::string bytes = formatY4mHeader(progressive);
    for (int t = 0; t < clip.frameCount(); ++t) {
        const RenderResult r = session.driver().render(clip, t, settings.params, settings.protocol);
        EXPECT_EQ(r.err, PF_Err_NONE) << r.message;
        EXPECT_EQ(std::pair(r.frame.width, r.frame.height), std::pair(A_long(kW), A_long(kH)));
        converter.fromPixels(r.frame.pixels.data(), int64_t(rowBytes), frame);
        bytes += "FRAME\n";
        bytes.append(reinterpret_cast<const char*>(frame.data()), size_t(frame.size()));
    }
    return bytes;
}

class DeinterlaceStreamTest : public ::testing::Test {
protected:
    DeinterlaceStreamTest() : session_(VELMORA_PLUGIN_PATH, HostKind::AfterEffects, 2) {}
    TempFolder folder_;
    PluginSession session_;
};

} // namespace

TEST_F(DeinterlaceStreamTest, StreamGivesWhatTheHostReturnsDrivenDirectly) {
    struct Case {
        int bits;
        PixelFormat format;
        A_long motion;
        bool correct;
        Protocol protocol;
    };
    const Case cases[] = {
        {8, PixelFormat::vuya, 1, false, Protocol::Smart},   {8, PixelFormat::vuya, 4, false, Protocol::Smart},
        {8, PixelFormat::vuya, 2, true, Protocol::Legacy},   {8, PixelFormat::argb, 3, false, Protocol::Smart},
        {10, PixelFormat::Vuya, 4, true, Protocol::Smart},   {8, PixelFormat::BGra, 2, false, Protocol::Smart},
    };
    for (const Case& c : cases) {
        const auto input = folder_.path() / ("in" + std::to_string(c.bits) + ".y4m");
        writeClip(input, clipHeader(c.bits), kFrames);
        StreamSettings settings;
        settings.format = c.format;
        settings.params.motion = c.motion;
        settings.params.correctMotionErrors = c.correct;
        settings.protocol = c.protocol;
        const Streamed s = streamThrough(session_, input, folder_.path() / "out.y4m", settings);
        const std::string direct = drivenDirectly(session_, input, settings);
        EXPECT_EQ(s.result.frames, kFrames);
        EXPECT_TRUE(s.bytes == direct) << "format " << formatName(c.format) << " motion " << c.motion;
        // The stream kept only the current frame and those the mode looks back at.
        EXPECT_EQ(s.result.mostFramesHeld, earlierFramesOf(c.motion) + 1);
        // Not a copy of the input: the odd rows were rebuilt.
        EXPECT_NE(s.bytes.substr(s.bytes.find('\n')), readFile(input).substr(readFile(input).find('\n')));
    }
    EXPECT_NOTHING_HELD(session_.host());
}

// Frames rendered by two jobs at once, and a clip rendered in three parts
// (each reading the frames before it that its mode looks back at) and joined,
// equal the plain run, in every mode, at frame and at field rate.
TEST_F(DeinterlaceStreamTest, JobsAndRangesEqualTheWholeRun) {
    const auto input = folder_.path() / "in.y4m";
    writeClip(input, clipHeader(), kFrames);
    PluginSession second(VELMORA_PLUGIN_PATH, HostKind::AfterEffects, 1);
    const std::vector<RenderDriver*> twoJobs{&session_.driver(), &second.driver()};
    for (const bool fieldRate : {false, true})
        for (A_long motion = 1; motion <= 4; ++motion)
            for (const Protocol protocol : {Protocol::Smart, Protocol::Legacy}) {
                if (protocol == Protocol::Legacy && motion != 3)
                    continue;
                StreamSettings settings;
                settings.params.motion = motion;
                settings.protocol = protocol;
                settings.fieldRate = fieldRate;
                const std::string what = "motion " + std::to_string(motion) + (fieldRate ? " field rate" : "");
                const Streamed whole = streamThrough(session_, input, folder_.path() / "whole.y4m", settings);
                EXPECT_EQ(whole.result.frames, kFrames);
                EXPECT_TRUE(streamThrough(twoJobs, input, folder_.path() / "jobs.y4m", settings).bytes == whole.bytes)
                    << what;
                std::string joined;
                for (const int64_t start : {0, 2, 4}) {
                    settings.rangeStart = start;
                    settings.rangeCount = 2;
                    const Streamed part = streamThrough(start == 2 ? twoJobs : std::vector<RenderDriver*>{&second.driver()},
                                                        input, folder_.path() / "part.y4m", settings);
                    EXPECT_EQ(part.result.frames, 2) << what;
                    joined += framesOf(part.bytes);
                }
                EXPECT_TRUE(joined == framesOf(whole.bytes)) << what;
            }
    EXPECT_NOTHING_HELD(session_.host());
    EXPECT_NOTHING_HELD(second.host());
}

// At field rate, output frame k keeps the field taken at time k: a bar that
// moves one step per field stands in each output's kept rows exactly where
// the progressive frame k has it, in both field orders and every mode.
TEST_F(DeinterlaceStreamTest, FieldRateKeepsEveryFieldInTimeOrder) {
    constexpr int kFields = 8;
    Y4mHeader progressive = clipHeader();
    progressive.interlace = Y4mInterlace::Progressive;
    std::vector<Y4mFrame> truth;
    for (int t = 0; t < kFields; ++t) {
        Y4mFrame& f = truth.emplace_back(Y4mFrameLayout(progressive));
        std::memset(f.data(), 128, size_t(f.size()));
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                f.row<uint8_t>(0, y)[x] = x / 3 == t + 2 ? 235 : 16;
    }
    for (const bool upperFirst : {true, false}) {
        Y4mHeader h = clipHeader();
        h.interlace = upperFirst ? Y4mInterlace::TopFirst : Y4mInterlace::BottomFirst;
        const auto input = folder_.path() / "bar.y4m";
        const int upperAt = upperFirst ? 0 : 1; // of the two moments a frame holds
        writeClip(input, h, kFields / 2, [&](int i, Y4mFrame& woven) {
            weaveFields(truth[size_t(2 * i + upperAt)], truth[size_t(2 * i + 1 - upperAt)], woven);
        });
        for (A_long motion = 1; motion <= 4; ++motion) {
            StreamSettings settings;
            settings.params.motion = motion;
            settings.params.fields = upperFirst ? 1 : 2;
            settings.fieldRate = true;
            const Streamed s = streamThrough(session_, input, folder_.path() / "out.y4m", settings);
            EXPECT_EQ(s.bytes.substr(0, s.bytes.find('\n')), "YUV4MPEG2 W40 H24 F50:1 Ip C420jpeg");
            const std::string frames = framesOf(s.bytes);
            const size_t frameBytes = 6 + size_t(truth[0].size());
            ASSERT_EQ(frames.size(), kFields * frameBytes);
            for (int k = 0; k < kFields; ++k)
                for (int y = (k % 2 == 0) == upperFirst ? 0 : 1; y < kH; y += 2)
                    EXPECT_EQ(frames.compare(size_t(k) * frameBytes + 6 + size_t(y) * kW, kW,
                                             reinterpret_cast<const char*>(truth[size_t(k)].row<uint8_t>(0, y)), kW),
                              0)
                        << "output " << k << " row " << y << " motion " << motion << (upperFirst ? " It" : " Ib");
        }
    }
}

// Failures of the plug-in and of the input end the stream with that stage's
// error, after the frames rendered before it are written, with every thread
// joined and nothing held by the host. (A failing output is in
// AFailureDoesNotWaitForAnIdleProducer.)
TEST_F(DeinterlaceStreamTest, AFailingStageEndsTheStreamWithItsError) {
    const auto input = folder_.path() / "in.y4m";
    writeClip(input, clipHeader(), kFrames);
    StreamSettings settings;
    settings.params.motion = 2;

    // The plug-in runs out of memory on the fourth frame (the first world it
    // asks for after the world requests of frames 0 to 2, counted in a run
    // of those three): frames 0 to 2 are written, frame 3 is named. With two
    // jobs, the second one's host fails at once: the frames before the one it
    // failed on are written (unless it got no frame before the first job had
    // rendered them all).
    PluginSession second(VELMORA_PLUGIN_PATH, HostKind::AfterEffects, 1);
    for (const bool twoJobs : {false, true}) {
        SCOPED_TRACE(twoJobs ? "two jobs" : "one job");
        StreamFiles files(input, folder_.path() / "out.y4m");
        if (twoJobs) {
            second.host().failWorldRequest(1);
        } else {
            StreamSettings firstThree = settings;
            firstThree.rangeCount = 3;
            const int before = session_.host().worldRequests();
            streamThrough(session_, input, folder_.path() / "three.y4m", firstThree);
            session_.host().failWorldRequest(session_.host().worldRequests() - before + 1);
        }
        int64_t rendered = 0;
        const std::vector<RenderDriver*> jobs{&session_.driver(), &second.driver()};
        const std::string error = errorOf([&] {
            deinterlaceStream(twoJobs ? jobs : std::vector<RenderDriver*>{jobs[0]}, files.reader, files.writer, settings,
                              [&](int64_t n) { rendered = n; });
        });
        session_.host().failWorldRequest(0);
        second.host().failWorldRequest(0);
        if (twoJobs && error.empty()) {
            EXPECT_EQ(files.writer.framesWritten(), kFrames);
            continue;
        }
        const size_t at = error.find("failed on frame ");
        ASSERT_NE(at, std::string::npos) << error;
        const int64_t failedFrame = std::stoll(error.substr(at + 16));
        if (!twoJobs) {
            EXPECT_EQ(failedFrame, 3);
        }
        EXPECT_EQ(rendered, failedFrame);
        EXPECT_EQ(files.writer.framesWritten(), failedFrame);
    }
    EXPECT_NOTHING_HELD(second.host());
    EXPECT_NOTHING_HELD(session_.host());

    // The input breaks off in its fifth frame: the reader's error, after the
    // four whole frames are written.
    {
        const std::string whole = readFile(input);
        const auto cut = folder_.path() / "cut.y4m";
        std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() - (whole.size() - 40) / kFrames - 5);
        StreamFiles files(cut, folder_.path() / "out.y4m");
        const std::string error =
            errorOf([&] { deinterlaceStream(session_.driver(), files.reader, files.writer, settings); });
        EXPECT_NE(error.find("truncated"), std::string::npos) << error;
        EXPECT_EQ(files.writer.framesWritten(), kFrames - 2);
    }
    EXPECT_NOTHING_HELD(session_.host());
}

// Each frame's own interlace tag decides: Ip frames are written exactly as
// read, It and Ib frames keep the field they name, untagged frames of a mixed
// stream the one of the settings (here the lower one).
TEST_F(DeinterlaceStreamTest, FrameTagsChooseTheKeptFieldOrPassTheFrameThrough) {
    Y4mHeader h = clipHeader();
    h.interlace = Y4mInterlace::Mixed;
    const auto plain = folder_.path() / "plain.y4m";
    writeClip(plain, h, 4);
    const std::string whole = readFile(plain);
    const size_t headerBytes = whole.find('\n') + 1;
    const size_t frameBytes = size_t(Y4mFrameLayout(h).frameBytes);
    const char* tags[] = {" It", " Ib", " Ip", ""};
    std::string tagged = whole.substr(0, headerBytes);
    for (int t = 0; t < 4; ++t)
        tagged += std::string("FRAME") + tags[t] + "\n" + whole.substr(headerBytes + t * (6 + frameBytes) + 6, frameBytes);
    const auto input = folder_.path() / "tagged.y4m";
    std::ofstream(input, std::ios::binary) << tagged;

    StreamSettings settings;
    settings.params.motion = 1;
    settings.params.fields = 2;
    const std::string out = streamThrough(session_, input, folder_.path() / "o.y4m", settings).bytes;
    const size_t outHeaderBytes = out.find('\n') + 1;
    ASSERT_EQ(out.size(), outHeaderBytes + 4 * (6 + frameBytes));
    const int keptParity[] = {0, 1, -1, 1}; // -1: the whole frame as read
    for (int t = 0; t < 4; ++t) {
        const std::string in = whole.substr(headerBytes + t * (6 + frameBytes) + 6, frameBytes);
        const std::string got = out.substr(outHeaderBytes + t * (6 + frameBytes) + 6, frameBytes);
        if (keptParity[t] < 0) {
            EXPECT_TRUE(got == in) << "frame " << t;
            continue;
        }
        bool otherChanged = false;
        for (int y = 0; y < kH; ++y) {
            const bool same = in.compare(size_t(y) * kW, kW, got, size_t(y) * kW, kW) == 0;
            if (y % 2 == keptParity[t])
                EXPECT_TRUE(same) << "frame " << t << " row " << y;
            else
                otherChanged |= !same;
        }
        EXPECT_TRUE(otherChanged) << "frame " << t;
    }
}

namespace {

// The real plug-in, except that its legacy render bails out as a plug-in does
// that caught an error it can only describe: no error code, the output not
// written, a message for the user.
PF_EntryFunc realEntry = nullptr;
PF_Err entryWhoseRenderBailsOut(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                                PF_LayerDef* output, void* extra) {
    if (cmd != PF_Cmd_RENDER)
        return realEntry(cmd, in, out, params, output, extra);
    out->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    std::snprintf(out->return_msg, sizeof out->return_msg, "the motion cache is corrupt");
    return PF_Err_NONE;
}

} // namespace

// A failure ends the stream at once even while the input's producer idles
// with the reader blocked waiting for its next frame: the output's reader
// went away (an error that says so, not a death by SIGPIPE), or the plug-in
// failed (a render that asks to show a message
// failed, whatever its error code: nothing is written).
TEST(DeinterlaceStream, AFailureDoesNotWaitForAnIdleProducer) {
    ignoreSigpipe();
    realEntry = loadedPlugin().entry();
    TempFolder folder;
    const auto clip = folder.path() / "in.y4m";
    // A frame larger than the output's buffer, so that writing it fails.
    Y4mHeader h = clipHeader();
    h.width = 128;
    h.height = 64;
    writeClip(clip, h, 1);
    const std::string oneFrame = readFile(clip);
    for (const bool pluginFails : {false, true}) {
        SCOPED_TRACE(pluginFails ? "the plug-in fails" : "the output's reader went away");
        RefHost host(HostProfile::afterEffects(), pluginFails ? entryWhoseRenderBailsOut : realEntry);
        RenderDriver driver(host);
        int input[2], output[2];
        ASSERT_EQ(pipe(input), 0);
        ASSERT_EQ(pipe(output), 0);
        ASSERT_EQ(write(input[1], oneFrame.data(), oneFrame.size()), ssize_t(oneFrame.size()));
        if (!pluginFails)
            close(output[0]);
        FilePtr in(fdopen(input[0], "rb"));
        FilePtr out(fdopen(output[1], "wb"));
        Y4mReader reader(in.get(), "input");
        Y4mWriter writer(out.get(), reader.header(), "output");
        StreamSettings settings;
        settings.protocol = pluginFails ? Protocol::Legacy : Protocol::Smart;
        auto run = std::async(std::launch::async, [&] {
            return errorOf([&] {
                deinterlaceStream(driver, reader, writer, settings);
                writer.flush();
            });
        });
        const bool ended = run.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        EXPECT_TRUE(ended) << "still waiting for the producer";
        close(input[1]); // lets a hanging run end, so that the test does
        const std::string error = run.get();
        EXPECT_NE(error.find(pluginFails ? "failed on frame 0: the motion cache is corrupt"
                                         : "output: write failed (the reading end of the pipe was closed)"),
                  std::string::npos)
            << error;
        if (pluginFails) {
            EXPECT_EQ(writer.framesWritten(), 0);
            close(output[0]);
        }
        EXPECT_NOTHING_HELD(host);
    }
}

// A header announcing the largest pictures costs no memory before their data
// arrives (here it never does): frames are allocated as frames come.
TEST(DeinterlaceCommand, AHugeHeaderCostsNothingWithoutData) {
    TempFolder folder;
    const auto input = folder.path() / "huge.y4m";
    std::ofstream(input, std::ios::binary) << "YUV4MPEG2 W16384 H8192 F25:1 It C444p16\n";
    const long before = peakKilobytes();
    std::ostringstream out;
    EXPECT_EQ(runCommand(parseCliOptions({"--quiet", "--memory-limit", "none", "--plugin", VELMORA_PLUGIN_PATH,
                                          input.string(), (folder.path() / "out.y4m").string()}),
                         out),
              0);
    EXPECT_LT(peakKilobytes() - before, 64 << 10) << "kilobytes";
}

TEST(LayerPixels, CutsTheLayerOutOfAGrownFrame) {
    Frame f{0, 4, 4, -1, -2, std::vector<uint8_t>(16)};
    std::iota(f.pixels.begin(), f.pixels.end(), uint8_t(0));
    EXPECT_EQ(layerPixelsOf(f, 2, 2, 1), (std::vector<uint8_t>{9, 10, 13, 14}));
    EXPECT_THROW(layerPixelsOf(f, 4, 2, 1), CliError);
    f.originX = 1; // starts right of the layer's left edge
    EXPECT_THROW(layerPixelsOf(f, 1, 1, 1), CliError);
}

// The whole command: bad input gives its error and leaves only the input. (A
// good run's output replacing the file named is checked end to end.)
TEST(DeinterlaceCommand, FailuresReportAndWriteNothing) {
    TempFolder folder;
    const auto good = folder.path() / "good.y4m";
    writeClip(good, clipHeader(), 2);
    const std::string whole = readFile(good);
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> extra;
        const char* mentions;
    };
    const Case cases[] = {
        {"truncated", whole.substr(0, whole.size() - 7), {}, "truncated"},
        {"not Y4M", "RIFF video\n", {}, "input.y4m"},
        {"missing plug-in", whole, {"--plugin", (folder.path() / "none.so").string()}, "cannot load the plug-in"},
        {"over the memory limit", whole, {"--memory-limit", "64K"}, "40x24 pictures in \"vuya\" need about"},
    };
    for (const Case& c : cases) {
        const auto input = folder.path() / "input.y4m";
        {
            std::ofstream(input, std::ios::binary) << c.bytes;
        }
        std::vector<std::string> args{"--quiet", "--plugin", VELMORA_PLUGIN_PATH};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        args.push_back(input.string());
        args.push_back((folder.path() / "output.y4m").string());
        std::ostringstream out;
        const std::string error = errorOf([&] { runCommand(parseCliOptions(args), out); });
        EXPECT_NE(error.find(c.mentions), std::string::npos) << c.name << ": " << error;
        auto entries = folder.entries();
        std::sort(entries.begin(), entries.end());
        EXPECT_EQ(entries, (std::vector<std::string>{"good.y4m", "input.y4m"})) << c.name;
    }
}
