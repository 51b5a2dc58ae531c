// The command line: every option and its values, operands per command, and
// one clear error for anything else.
#include "CliTestFiles.h"

#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace cli;

namespace {

CliOptions parse(std::vector<std::string> args) { return parseCliOptions(args); }

} // namespace

// Every option changes its own field of the defaults and nothing else.
TEST(CliOptions, EachOptionSetsItsFieldOnly) {
    const auto record = [](const CliOptions& o) {
        return std::tie(o.command, o.operands, o.fields, o.motion, o.correctErrors, o.threads,
                        o.protocol, o.host, o.format, o.matrix, o.progress, o.pluginPath,
                        o.memoryLimit, o.jobs, o.rangeStart, o.rangeCount, o.fieldRate);
    };
    struct Case {
        std::vector<std::string> options;
        void (*set)(CliOptions&);
    };
    const Case cases[] = {
        {{}, [](CliOptions&) {}},
        {{"--fields", "lower"}, [](CliOptions& o) { o.fields = FieldOrder::Lower; }},
        {{"--motion=best"}, [](CliOptions& o) { o.motion = MotionMode::Best; }},
        {{"--motion", "off"}, [](CliOptions& o) { o.motion = MotionMode::Off; }},
        {{"--correct-errors"}, [](CliOptions& o) { o.correctErrors = true; }},
        {{"--threads", "3"}, [](CliOptions& o) { o.threads = 3; }},
        {{"--protocol", "legacy"}, [](CliOptions& o) { o.protocol = RenderProtocol::Legacy; }},
        {{"--host", "premiere"}, [](CliOptions& o) { o.host = HostKind::Premiere; }},
        {{"--host", "keyg"}, [](CliOptions& o) { o.host = HostKind::KeyG; }},
        {{"--format", "Vuya"}, [](CliOptions& o) { o.format = PixelFormat::Vuya; }},
        {{"--matrix", "bt601"}, [](CliOptions& o) { o.matrix = ColourMatrix::BT601; }},
        {{"--quiet"}, [](CliOptions& o) { o.progress = ProgressMode::Never; }},
        {{"--progress"}, [](CliOptions& o) { o.progress = ProgressMode::Always; }},
        {{"--plugin", "/x/V.so"}, [](CliOptions& o) { o.pluginPath = "/x/V.so"; }},
        {{"--memory-limit", "3G"}, [](CliOptions& o) { o.memoryLimit = int64_t(3) << 30; }},
        {{"--memory-limit=512k"}, [](CliOptions& o) { o.memoryLimit = 512 << 10; }},
        {{"--memory-limit", "none"}, [](CliOptions& o) { o.memoryLimit = 0; }},
        {{"--fields", "lower", "--fields", "auto"}, [](CliOptions&) {}},
        {{"--jobs", "3"}, [](CliOptions& o) { o.jobs = 3; }},
        {{"--range=10:25"}, [](CliOptions& o) { o.rangeStart = 10; o.rangeCount = 25; }},
        {{"--rate", "field"}, [](CliOptions& o) { o.fieldRate = true; }},
        {{"--rate", "frame"}, [](CliOptions&) {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-", "out.y4m"});
        CliOptions want;
        want.operands = {"-", "out.y4m"};
        c.set(want);
        EXPECT_TRUE(record(parse(args)) == record(want)) << (args.size() > 2 ? args[0] : "none");
    }
}

TEST(CliOptions, Commands) {
    EXPECT_EQ(parse({"demo"}).command, CliCommand::Demo);
    EXPECT_EQ(parse({"demo", "dir"}).operands, std::vector<std::string>{"dir"});
    EXPECT_EQ(parse({"--threads", "1", "demo"}).command, CliCommand::Demo);
    EXPECT_EQ(parse({"info", "--plugin", "p.so"}).command, CliCommand::Info);
    EXPECT_EQ(parse({"interlace", "a", "b", "c"}).operands.size(), 3u);
    EXPECT_EQ(parse({"--help", "--bogus"}).command, CliCommand::Help);
    EXPECT_EQ(parse({"--version"}).command, CliCommand::Version);
    // A file called "demo" as an input: after the first operand words are operands.
    const CliOptions o = parse({"x.y4m", "demo"});
    EXPECT_EQ(o.command, CliCommand::Deinterlace);
    EXPECT_EQ(o.operands[1], "demo");
    // "--" ends the options, so a file may start with a dash.
    EXPECT_EQ(parse({"--", "-in", "out"}).operands[0], "-in");
    // ... and protects files named like the commands.
    for (const char* name : {"demo", "info", "interlace"}) {
        const CliOptions named = parse({"--", name, "out"});
        EXPECT_EQ(named.command, CliCommand::Deinterlace) << name;
        EXPECT_EQ(named.operands, (std::vector<std::string>{name, "out"})) << name;
    }
}

TEST(CliOptions, ErrorsNameTheProblem) {
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"--frobnicate", "a", "b"}, "unknown option --frobnicate"},
        {{"-x", "a", "b"}, "unknown option -x"},
        {{"--motion", "fastest", "a", "b"}, "--motion: unknown value \"fastest\""},
        {{"--fields", "top", "a", "b"}, "--fields: unknown value"},
        {{"--protocol", "smrt", "a", "b"}, "--protocol"},
        {{"--host", "nuke", "a", "b"}, "--host"},
        {{"--matrix", "bt2020", "a", "b"}, "--matrix"},
        {{"--format", "rgba", "a", "b"}, "--format: unknown pixel format \"rgba\""},
        {{"--threads", "0", "a", "b"}, "--threads"},
        {{"--threads", "2x", "a", "b"}, "--threads"},
        {{"--threads", "-3", "a", "b"}, "--threads"},
        {{"a", "b", "--threads"}, "--threads: missing value"},
        {{"--quiet=yes", "a", "b"}, "--quiet: takes no value"},
        {{"only-input"}, "expected INPUT and OUTPUT"},
        {{}, "expected INPUT and OUTPUT"},
        {{"a", "b", "c"}, "unexpected operand \"c\""},
        {{"demo", "d1", "d2"}, "unexpected operand \"d2\""},
        {{"info", "x"}, "unexpected operand \"x\""},
        {{"interlace", "a"}, "missing operand"},
        {{"--plugin", "", "a", "b"}, "--plugin: empty path"},
        {{"--memory-limit", "2X", "a", "b"}, "--memory-limit: \"2X\" is not a size"},
        {{"--memory-limit", "0", "a", "b"}, "--memory-limit"},
        {{"--memory-limit", "9000000T", "a", "b"}, "--memory-limit"},
        {{"--jobs", "0", "a", "b"}, "--jobs: \"0\" is not a job count"},
        {{"--range", "5", "a", "b"}, "--range: \"5\" is not START:COUNT"},
        {{"--range", "5:0", "a", "b"}, "--range"},
        {{"--range", "-1:3", "a", "b"}, "--range"},
        {{"--range", "1:3x", "a", "b"}, "--range"},
        {{"--rate", "double", "a", "b"}, "--rate: unknown value"},
    };
    for (const Case& c : cases) {
        const std::string error = errorOf([&] { parseCliOptions(c.args); });
        EXPECT_NE(error.find(c.mentions), std::string::npos) << "got: " << error;
    }
}
