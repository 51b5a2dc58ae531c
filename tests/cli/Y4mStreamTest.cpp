#include "CliTestFiles.h"

#include "cli/AtomicOutputFile.h"
#include "cli/CliError.h"
#include "cli/IgnoreSigpipe.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int pipe(int fds[2]) { return _pipe(fds, 1 << 16, _O_BINARY); }
#endif

std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// What the command does with files: read every frame, write it to an atomic
// output, commit at the end.
void copyStream(const std::filesystem::path& input, const std::filesystem::path& output) {
    AtomicOutputFile out(output.string());
    FilePtr in(std::fopen(input.string().c_str(), "rb"));
    Y4mReader reader(in.get(), input.string());
    Y4mWriter writer(out.file(), reader.header(), output.string());
    Y4mFrame frame(reader.layout());
    while (reader.readFrame(frame))
        writer.writeFrame(frame);
    writer.flush();
    out.commit();
}

std::string header(const std::string& fields) {
    return "YUV4MPEG2 " + fields + "\n";
}

std::string frameOf(size_t bytes, char fill = 'x') {
    return "FRAME\n" + std::string(bytes, fill);
}

}  // namespace

TEST(Y4mHeader, ParsesEveryField) {
    const Y4mHeader h = parseY4mHeader("YUV4MPEG2 W720 H576 F25:1 It A16:15 C420paldv XYSCSS=420PALDV XCOLORRANGE=FULL");
    EXPECT_EQ(h.width, 720);
    EXPECT_EQ(h.height, 576);
    EXPECT_EQ(h.frameRateNum, 25);
    EXPECT_EQ(h.frameRateDen, 1);
    EXPECT_EQ(h.interlace, Y4mInterlace::TopFirst);
    EXPECT_EQ(h.pixelAspect, "16:15");
    EXPECT_EQ(h.chroma, Y4mChroma::C420);
    EXPECT_EQ(h.chromaTag, "420paldv");
    EXPECT_EQ(h.bitDepth, 8);
    EXPECT_TRUE(h.fullRange());
    EXPECT_EQ(h.extras, (std::vector<std::string>{"XYSCSS=420PALDV", "XCOLORRANGE=FULL"}));
}

TEST(Y4mHeader, ChromaTagsGiveSamplingAndDepth) {
    struct Case {
        const char* tag;
        Y4mChroma chroma;
        int bits;
    };
    const Case cases[] = {
        {"420jpeg", Y4mChroma::C420, 8}, {"420mpeg2", Y4mChroma::C420, 8}, {"420paldv", Y4mChroma::C420, 8},
        {"420", Y4mChroma::C420, 8},     {"420p10", Y4mChroma::C420, 10},  {"420p16", Y4mChroma::C420, 16},
        {"422", Y4mChroma::C422, 8},     {"422p12", Y4mChroma::C422, 12},  {"444", Y4mChroma::C444, 8},
        {"444p9", Y4mChroma::C444, 9},   {"mono", Y4mChroma::Mono, 8},     {"mono10", Y4mChroma::Mono, 10},
        {"mono16", Y4mChroma::Mono, 16},
    };
    for (const Case& c : cases) {
        const Y4mHeader h = parseY4mHeader(std::string("YUV4MPEG2 W4 H4 C") + c.tag);
        EXPECT_EQ(h.chroma, c.chroma) << c.tag;
        EXPECT_EQ(h.bitDepth, c.bits) << c.tag;
    }
    const Y4mHeader plain = parseY4mHeader("YUV4MPEG2 W4 H4");
    EXPECT_EQ(plain.chroma, Y4mChroma::C420);
    EXPECT_EQ(plain.interlace, Y4mInterlace::Unspecified);
}

TEST(Y4mReader, MalformedStreamsNameTheProblemAndLeaveNoOutput) {
    const std::string ok = "W8 H4 F25:1 C420jpeg";
    struct Case {
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {"", "empty input"},
        {"YUV4MPEG W8 H4\n", "not a Y4M stream"},
        {"RIFF....\n", "not a Y4M stream"},
        {"YUV4MPEG2X W8 H4\n", "not a Y4M stream"},
        {header("H4 C420jpeg"), "width (W) missing"},
        {header("W8 C420jpeg"), "height (H) missing"},
        {header("W0 H4"), "width (W) is 0"},
        {header("W8 H0"), "height (H) is 0"},
        {header("W-8 H4"), "bad width"},
        {header("W8x H4"), "bad width"},
        {header("W8 H99999999999999999999"), "bad height"},
        {header("W40000 H4"), "exceeds 32768"},
        {header("W32768 H32768"), "pixels"},
        {header("W8 H4 C411"), "unsupported Y4M colour space C411"},
        {header("W8 H4 C444alpha"), "unsupported Y4M colour space"},
        {header("W8 H4 C420p8"), "unsupported Y4M colour space"},
        {header("W8 H4 C420p17"), "unsupported Y4M colour space"},
        {header("W8 H4 F30:0"), "bad frame rate"},
        {header("W8 H4 Fabc"), "bad frame rate"},
        {header("W8 H4 F25"), "bad frame rate"},
        {header("W8 H4 Ix"), "bad interlace tag"},
        {header("W8 H4 A1"), "bad pixel aspect"},
        {"YUV4MPEG2 W8 H4", "not terminated by a newline"},
        {"YUV4MPEG2 W8 H4 X" + std::string(70000, 'a') + "\n", "longer than"},
        {header(ok) + frameOf(47), "truncated frame 1 (47 of 48 bytes)"},
        {header(ok) + frameOf(48) + frameOf(10), "truncated frame 2"},
        {header(ok) + frameOf(48) + "FRA", "truncated frame 2"},
        {header(ok) + "FRAMX\n" + std::string(48, 'x'), "malformed FRAME line at frame 1"},
        {header(ok) + "FRAMES\n" + std::string(48, 'x'), "malformed FRAME line at frame 1"},
        {header(ok) + frameOf(48) + "garbage\n", "malformed FRAME line at frame 2"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        const auto input = folder.path() / "in.y4m";
        std::ofstream(input, std::ios::binary) << c.bytes;
        std::string message;
        try {
            copyStream(input, folder.path() / "out.y4m");
        } catch (const CliError& e) {
            message = e.what();
        }
        EXPECT_NE(message.find(c.message), std::string::npos) << "got: " << message << "\nwanted: " << c.message;
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"in.y4m"}) << c.message;
    }
}

TEST(Y4mReader, FrameParametersAreTolerated) {
    const FilePtr in = fileWithBytes(header("W2 H2 C444") + "FRAME Ixyz Xa=b\n" + std::string(12, 'a') +
                                     frameOf(12, 'b'));
    Y4mReader reader(in.get(), "in");
    Y4mFrame frame(reader.layout());
    ASSERT_TRUE(reader.readFrame(frame));
    EXPECT_EQ(frame.data()[0], 'a');
    ASSERT_TRUE(reader.readFrame(frame));
    EXPECT_EQ(frame.data()[11], 'b');
    EXPECT_FALSE(reader.readFrame(frame));
    EXPECT_EQ(reader.framesRead(), 2);
}

TEST(Y4mReader, FrameCountIsKnownForFilesOnly) {
    // 4:2:0 6x5: luma 30 bytes, chroma 3x3 twice: 48 bytes a frame.
    const std::string stream = header("W6 H5 C420mpeg2") + frameOf(48) + "FRAME Xp=1\n" + std::string(48, 'y') +
                               frameOf(48) + frameOf(20);
    const FilePtr file = fileWithBytes(stream);
    EXPECT_EQ(Y4mReader(file.get(), "file").frameCount(), std::optional<int64_t>(3));

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], stream.data(), stream.size()), ssize_t(stream.size()));
    close(fds[1]);
    FilePtr piped(fdopen(fds[0], "rb"));
    Y4mReader reader(piped.get(), "pipe");
    EXPECT_FALSE(reader.frameCount().has_value());
    Y4mFrame frame(reader.layout());
    int frames = 0;
    EXPECT_THROW(
        {
            while (reader.readFrame(frame))
                ++frames;
        },
        CliError);
    EXPECT_EQ(frames, 3);
}

TEST(Y4mStream, RoundTripsEveryChromaFormatAndDepth) {
    const char* tags[] = {"420jpeg", "420mpeg2", "420paldv", "420",     "422",   "444",  "mono",
                          "420p10",  "422p10",   "444p10",   "420p12",  "mono12", "420p16", "422p16",
                          "444p16",  "mono16",   "444p9",    "420p14"};
    std::mt19937 random(7);
    for (const char* tag : tags) {
        const std::string line = std::string("YUV4MPEG2 W7 H5 F30000:1001 It A10:11 C") + tag + " XCOLORRANGE=FULL Zfoo";
        const Y4mHeader in = parseY4mHeader(line);
        TempFolder folder;
        const auto path = folder.path() / "out.y4m";
        const Y4mFrameLayout layout(in);
        std::vector<Y4mFrame> frames;
        {
            AtomicOutputFile out(path.string());
            Y4mWriter writer(out.file(), in, "out");
            for (int i = 0; i < 3; ++i) {
                frames.emplace_back(layout);
                fillRandom(frames.back(), in.bitDepth, random);
                writer.writeFrame(frames.back());
            }
            writer.flush();
            out.commit();
        }
        const std::string bytes = readWholeFile(path);
        EXPECT_EQ(bytes.substr(0, bytes.find('\n')),
                  std::string("YUV4MPEG2 W7 H5 F30000:1001 Ip A10:11 C") + tag + " XCOLORRANGE=FULL Zfoo");

        FilePtr file(std::fopen(path.string().c_str(), "rb"));
        Y4mReader reader(file.get(), "out");
        EXPECT_EQ(reader.frameCount(), std::optional<int64_t>(3)) << tag;
        EXPECT_EQ(reader.header().chroma, in.chroma);
        EXPECT_EQ(reader.header().bitDepth, in.bitDepth);
        EXPECT_EQ(reader.header().interlace, Y4mInterlace::Progressive);
        EXPECT_EQ(reader.layout().frameBytes, layout.frameBytes);
        Y4mFrame frame(reader.layout());
        for (const Y4mFrame& expected : frames) {
            ASSERT_TRUE(reader.readFrame(frame)) << tag;
            EXPECT_EQ(std::memcmp(frame.data(), expected.data(), size_t(expected.size())), 0) << tag;
        }
        EXPECT_FALSE(reader.readFrame(frame));
    }
}

TEST(Y4mFrameLayout, OddSizesRoundChromaUp) {
    const Y4mFrameLayout c420(parseY4mHeader("YUV4MPEG2 W7 H5 C420p10"));
    EXPECT_EQ(c420.sampleBytes, 2);
    EXPECT_EQ(c420.width[1], 4);
    EXPECT_EQ(c420.height[1], 3);
    EXPECT_EQ(c420.offset[2], (35 + 12) * 2);
    EXPECT_EQ(c420.frameBytes, (35 + 24) * 2);
    const Y4mFrameLayout c422(parseY4mHeader("YUV4MPEG2 W7 H5 C422"));
    EXPECT_EQ(c422.frameBytes, 35 + 2 * 4 * 5);
    const Y4mFrameLayout mono(parseY4mHeader("YUV4MPEG2 W7 H5 Cmono16"));
    EXPECT_EQ(mono.planes, 1);
    EXPECT_EQ(mono.frameBytes, 70);
    // The largest picture accepted still has a frame size well inside 64 bits.
    const Y4mFrameLayout big(parseY4mHeader("YUV4MPEG2 W32768 H4096 C444p16"));
    EXPECT_EQ(big.frameBytes, int64_t(32768) * 4096 * 3 * 2);
}

TEST(Y4mWriter, ClosedPipeIsAnErrorNotADeath) {
    ignoreSigpipe();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    FilePtr out(fdopen(fds[1], "wb"));
    const Y4mHeader h = parseY4mHeader("YUV4MPEG2 W64 H64 C444");
    std::string message;
    try {
        Y4mWriter writer(out.get(), h, "stdout");
        Y4mFrame frame(writer.layout());
        for (int i = 0; i < 100; ++i)
            writer.writeFrame(frame);
        writer.flush();
    } catch (const CliError& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("stdout: write failed (the reading end of the pipe was closed)"), std::string::npos)
        << message;
}

TEST(AtomicOutputFile, AppearsOnlyWhenCommitted) {
    TempFolder folder;
    const auto path = folder.path() / "result.y4m";
    {
        AtomicOutputFile out(path.string());
        std::fputs("half", out.file());
        std::fflush(out.file());
        EXPECT_EQ(folder.entries().size(), 1u);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    EXPECT_TRUE(folder.entries().empty());
    {
        AtomicOutputFile out(path.string());
        std::fputs("whole", out.file());
        out.commit();
    }
    EXPECT_EQ(readWholeFile(path), "whole");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"result.y4m"});
    EXPECT_THROW(AtomicOutputFile((folder.path() / "missing" / "x.y4m").string()), CliError);
}
