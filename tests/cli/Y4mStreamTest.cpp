#include "CliTestFiles.h"

#include "cli/OutputFile.h"
#include "cli/CliError.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace cli;

namespace {

#ifdef _WIN32
int pipe(int fds[2]) { return _pipe(fds, 1 << 16, _O_BINARY); }
#endif

// What the command does with files: read every frame, write it to an atomic
// output, commit at the end.
void copyStream(const std::filesystem::path& input, const std::filesystem::path& output) {
    OutputFile out(output.string());
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

// `start`, padded with 'a' to a line of `bytes` bytes, newline included.
std::string paddedLine(const std::string& start, int bytes) {
    return start + std::string(size_t(bytes) - start.size() - 1, 'a') + "\n";
}

}  // namespace

TEST(Y4mReader, MalformedStreamsNameTheProblemAndLeaveNoOutput) {
    const std::string ok = "W8 H4 F25:1 C420jpeg";
    struct Case {
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {"", "empty input"},
        {"YUV4MPEG W8 H4\n", "not a Y4M stream"},
        {"YUV4MPEG2X W8 H4\n", "not a Y4M stream"},
        {header("H4 C420jpeg"), "width (W) missing"},
        {header("W8 C420jpeg"), "height (H) missing"},
        {header("W0 H4"), "width (W) is 0"},
        {header("W8 H0"), "height (H) is 0"},
        {header("W-8 H4"), "bad width"},
        {header("W8x H4"), "bad width"},
        {header("W8 H99999999999999999999"), "bad height"},
        {header("W100001 H4"), "width (W) 100001 exceeds 100000"},
        {header("W4 H100001"), "height (H) 100001 exceeds 100000"},
        {header("W32768 H32768"), "pixels"},
        {header("W8 H4 C411"), "unsupported Y4M colour space C411"},
        {header("W8 H4 C444alpha"), "unsupported Y4M colour space"},
        {header("W8 H4 C420p8"), "unsupported Y4M colour space"},
        {header("W8 H4 C420p17"), "unsupported Y4M colour space"},
        {header("W8 H4 F30:0"), "bad frame rate"},
        {header("W8 H4 Fabc"), "bad frame rate"},
        {header("W8 H4 Ix"), "bad interlace tag"},
        {header("W8 H4 A1"), "bad pixel aspect"},
        {"YUV4MPEG2 W8 H4", "not terminated by a newline"},
        {paddedLine("YUV4MPEG2 W8 H4 X", kY4mMaxLine + 1), "longer than 65536 bytes"},
        {header(ok) + paddedLine("FRAME X", kY4mMaxLine + 1) + std::string(48, 'x'), "frame 1 (too long)"},
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
        const std::string message = errorOf([&] { copyStream(input, folder.path() / "out.y4m"); });
        EXPECT_NE(message.find(c.message), std::string::npos) << "got: " << message << "\nwanted: " << c.message;
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"in.y4m"}) << c.message;
    }
}

TEST(Y4mReader, FrameParametersAreTolerated) {
    // Header and FRAME lines of the longest length accepted.
    const FilePtr in = fileWithBytes(paddedLine("YUV4MPEG2 W2 H2 C444 X", kY4mMaxLine) +
                                     paddedLine("FRAME Ixyz Xa=b", kY4mMaxLine) + std::string(12, 'a') +
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

// (Frames are read from pipes in the stream tests and end to end.)
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
}

// Every chroma tag gives its sampling and depth, and a stream of it reads
// back as written; the header keeps every field (the writer marks the frames
// progressive), and the fields a header leaves out take their defaults.
TEST(Y4mStream, RoundTripsEveryChromaFormatAndDepth) {
    const Y4mHeader plain = parseY4mHeader("YUV4MPEG2 W4 H4");
    EXPECT_EQ(std::tie(plain.chroma, plain.bitDepth, plain.interlace, plain.range),
              std::make_tuple(Y4mChroma::C420, 8, Y4mInterlace::Unspecified, Y4mRange::Unspecified));
    struct Case {
        const char* tag;
        Y4mChroma chroma;
        int bits;
    };
    const Case cases[] = {
        {"420jpeg", Y4mChroma::C420, 8}, {"420mpeg2", Y4mChroma::C420, 8}, {"420paldv", Y4mChroma::C420, 8},
        {"420", Y4mChroma::C420, 8},     {"422", Y4mChroma::C422, 8},      {"444", Y4mChroma::C444, 8},
        {"mono", Y4mChroma::Mono, 8},    {"420p10", Y4mChroma::C420, 10},  {"422p10", Y4mChroma::C422, 10},
        {"444p10", Y4mChroma::C444, 10}, {"420p12", Y4mChroma::C420, 12},  {"422p12", Y4mChroma::C422, 12},
        {"mono12", Y4mChroma::Mono, 12}, {"420p16", Y4mChroma::C420, 16},  {"422p16", Y4mChroma::C422, 16},
        {"444p16", Y4mChroma::C444, 16}, {"mono16", Y4mChroma::Mono, 16},  {"444p9", Y4mChroma::C444, 9},
        {"420p14", Y4mChroma::C420, 14}, {"mono10", Y4mChroma::Mono, 10},
    };
    std::mt19937 random(7);
    for (const auto& [tag, chroma, bits] : cases) {
        const std::string line = std::string("YUV4MPEG2 W7 H5 F30000:1001 It A10:11 C") + tag + " XCOLORRANGE=FULL Zfoo";
        const Y4mHeader in = parseY4mHeader(line);
        ASSERT_EQ(std::tie(in.chroma, in.bitDepth, in.frameRateNum, in.frameRateDen, in.interlace, in.range),
                  std::make_tuple(chroma, bits, 30000, 1001, Y4mInterlace::TopFirst, Y4mRange::Full))
            << tag;
        TempFolder folder;
        const auto path = folder.path() / "out.y4m";
        const Y4mFrameLayout layout(in);
        std::vector<Y4mFrame> frames;
        {
            OutputFile out(path.string());
            Y4mWriter writer(out.file(), in, "out");
            for (int i = 0; i < 3; ++i) {
                frames.emplace_back(layout);
                fillRandom(frames.back(), in.bitDepth, random);
                writer.writeFrame(frames.back());
            }
            writer.flush();
            out.commit();
        }
        const std::string bytes = readFile(path);
        EXPECT_EQ(bytes.substr(0, bytes.find('\n')),
                  std::string("YUV4MPEG2 W7 H5 F30000:1001 Ip A10:11 C") + tag + " XCOLORRANGE=FULL Zfoo");

        FilePtr file(std::fopen(path.string().c_str(), "rb"));
        Y4mReader reader(file.get(), "out");
        EXPECT_EQ(reader.frameCount(), std::optional<int64_t>(3)) << tag;
        Y4mFrame frame(reader.layout());
        for (const Y4mFrame& expected : frames) {
            ASSERT_TRUE(reader.readFrame(frame)) << tag;
            EXPECT_EQ(std::memcmp(frame.data(), expected.data(), size_t(expected.size())), 0) << tag;
        }
        EXPECT_FALSE(reader.readFrame(frame));
    }
}

// Odd sizes round the chroma planes up, samples of 9 bits and more take two
// bytes, and the largest pictures accepted (sides up to the plug-in's limit of
// 100000) have frame sizes well inside 64 bits.
TEST(Y4mFrameLayout, OddSizesRoundChromaUp) {
    EXPECT_EQ(Y4mFrameLayout(parseY4mHeader("YUV4MPEG2 W7 H5 C420p10")).offset[2], (35 + 12) * 2);
    EXPECT_EQ(Y4mFrameLayout(parseY4mHeader("YUV4MPEG2 W7 H5 Cmono16")).planes, 1);
    const struct {
        const char* fields;
        int64_t frameBytes;
    } cases[] = {
        {"W7 H5 C420p10", (35 + 2 * 4 * 3) * 2}, {"W7 H5 C422", 35 + 2 * 4 * 5},
        {"W7 H5 C444p9", 35 * 3 * 2},            {"W7 H5 Cmono16", 70},
        {"W100000 H2 Cmono", 200000},           {"W2 H100000 Cmono", 200000},
        {"W32768 H4096 C444p16", int64_t(32768) * 4096 * 3 * 2},
    };
    for (const auto& [fields, frameBytes] : cases)
        EXPECT_EQ(Y4mFrameLayout(parseY4mHeader(std::string("YUV4MPEG2 ") + fields)).frameBytes, frameBytes) << fields;
}

// FIFOs, device nodes, descriptor paths, symbolic links, file modes and
// signals are POSIX matters; the Windows output file is checked by the tests
// above (no output left by a failed run) and end to end (EndToEnd.sh).
#ifndef _WIN32
namespace {

void writeNew(const std::string& path) {
    OutputFile out(path);
    std::fputs("new", out.file());
    out.commit();
}

// The folder's entries, sorted, removed after they are listed.
std::vector<std::string> takeEntries(const TempFolder& folder) {
    std::vector<std::string> names = folder.entries();
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        std::filesystem::remove(folder.path() / name);
    return names;
}

}  // namespace

// Outputs that cannot be replaced are written where they are: a FIFO stays a
// FIFO (its reader gets the data), a device stays a device, a descriptor path
// writes to its descriptor; a symbolic link is written through, keeping the
// target's mode; a read-only file is refused and left alone.
TEST(OutputFile, WritesWhatCannotBeReplacedInPlace) {
    TempFolder folder;
    const std::string out = (folder.path() / "out").string(), target = (folder.path() / "target").string();
    struct stat st {};

    ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);
    std::string readBack;
    std::thread reader([&] { readBack = readFile(out); });
    writeNew(out);
    reader.join();
    EXPECT_EQ(readBack, "new");
    ASSERT_EQ(lstat(out.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(takeEntries(folder), std::vector<std::string>{"out"});

    // The pipe holds the three bytes: no reader needs to wait on it.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    writeNew("/dev/fd/" + std::to_string(fds[1]));
    close(fds[1]);
    EXPECT_EQ(readFile("/dev/fd/" + std::to_string(fds[0])), "new");
    close(fds[0]);
    EXPECT_TRUE(takeEntries(folder).empty());

    for (const bool dangling : {false, true}) {
        SCOPED_TRACE(dangling ? "dangling link" : "link");
        if (!dangling) {
            std::ofstream(target) << "old";
            ASSERT_EQ(chmod(target.c_str(), 0640), 0);
        }
        ASSERT_EQ(symlink("target", out.c_str()), 0);
        writeNew(out);
        ASSERT_EQ(lstat(out.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        EXPECT_EQ(readFile(target), "new");
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        if (!dangling) {
            EXPECT_EQ(st.st_mode & 07777, 0640u);
        }
        EXPECT_EQ(takeEntries(folder), (std::vector<std::string>{"out", "target"}));
    }

    std::ofstream(out) << "old";
    ASSERT_EQ(chmod(out.c_str(), 0444), 0);
    EXPECT_THROW(OutputFile{out}, CliError);
    EXPECT_EQ(readFile(out), "old");
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(takeEntries(folder), std::vector<std::string>{"out"});

    // The null device's numbers, made in the test's own folder (last: where
    // that is not permitted the rest of the test is skipped).
    if (mknod(out.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 || access(out.c_str(), W_OK) != 0)
        GTEST_SKIP() << "mknod of a character device is not permitted here";
    writeNew(out);
    ASSERT_EQ(lstat(out.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(takeEntries(folder), std::vector<std::string>{"out"});
}

// A shell starts background jobs with SIGINT ignored, and the output files
// leave an ignored signal ignored (as under nohup). The signals are set as in
// a foreground run when the program starts, before any output file is made:
// the cleanup handlers are installed once per process.
const bool kSignalsAsInTheForeground = [] {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        sigaction(signal, nullptr, &current);
        if (current.sa_handler == SIG_IGN)
            std::signal(signal, SIG_DFL);
    }
    return true;
}();

// A run ended by SIGINT, SIGTERM or SIGHUP while writing leaves no temporary
// file (the signal still ends the process).
TEST(OutputFile, InterruptedRunsLeaveNothing) {
    ASSERT_TRUE(kSignalsAsInTheForeground);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        TempFolder folder;
        const std::string path = (folder.path() / "out.y4m").string();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            OutputFile out(path);
            std::fputs("half", out.file());
            std::fflush(out.file());
            raise(signal);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
        EXPECT_TRUE(folder.entries().empty()) << signal;
    }
}
#endif
