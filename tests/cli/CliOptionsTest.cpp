// The command line: every option and its values, operands per command, and
// one clear error for anything else.
#include "cli/CliError.h"
#include "cli/CliOptions.h"

#include <gtest/gtest.h>

using namespace cli;

namespace {

CliOptions parse(std::vector<std::string> args) { return parseCliOptions(args); }

std::string errorOf(std::vector<std::string> args) {
    try {
        parseCliOptions(args);
    } catch (const CliError& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST(CliOptions, DefaultsWithTwoOperands) {
    const CliOptions o = parse({"in.y4m", "-"});
    EXPECT_EQ(o.command, CliCommand::Deinterlace);
    EXPECT_EQ(o.operands, (std::vector<std::string>{"in.y4m", "-"}));
    EXPECT_FALSE(o.fields.has_value());
    EXPECT_EQ(o.motion, kDefaultMotion);
    EXPECT_FALSE(o.correctErrors);
    EXPECT_EQ(o.threads, 0);
    EXPECT_EQ(o.protocol, RenderProtocol::Smart);
    EXPECT_EQ(o.host, HostKind::AfterEffects);
    EXPECT_FALSE(o.format.has_value());
    EXPECT_EQ(o.progress, ProgressMode::Auto);
    EXPECT_TRUE(o.pluginPath.empty());
}

TEST(CliOptions, EveryOptionSetsItsField) {
    const CliOptions o = parse({"--fields", "lower", "--motion=best", "--correct-errors", "--threads", "3",
                                "--protocol", "legacy", "--host", "premiere", "--format", "Vuya", "--matrix",
                                "bt601", "--quiet", "--plugin", "/x/V.so", "-", "out.y4m"});
    EXPECT_EQ(o.fields, FieldOrder::Lower);
    EXPECT_EQ(o.motion, MotionMode::Best);
    EXPECT_TRUE(o.correctErrors);
    EXPECT_EQ(o.threads, 3);
    EXPECT_EQ(o.protocol, RenderProtocol::Legacy);
    EXPECT_EQ(o.host, HostKind::Premiere);
    EXPECT_EQ(o.format, PixelFormat::Vuya);
    EXPECT_EQ(o.matrix, ColourMatrix::BT601);
    EXPECT_EQ(o.progress, ProgressMode::Never);
    EXPECT_EQ(o.pluginPath, "/x/V.so");
    EXPECT_EQ(o.operands, (std::vector<std::string>{"-", "out.y4m"}));
    EXPECT_EQ(parse({"--progress", "a", "b"}).progress, ProgressMode::Always);
    EXPECT_EQ(parse({"--host", "keyg", "a", "b"}).host, HostKind::KeyG);
    EXPECT_EQ(parse({"--fields", "lower", "--fields", "auto", "a", "b"}).fields, std::nullopt);
    EXPECT_EQ(parse({"--motion", "off", "a", "b"}).motion, MotionMode::Off);
    EXPECT_EQ(parse({"--memory-limit", "3G", "a", "b"}).memoryLimit, int64_t(3) << 30);
    EXPECT_EQ(parse({"--memory-limit=512k", "a", "b"}).memoryLimit, 512 << 10);
    EXPECT_EQ(parse({"--memory-limit", "none", "a", "b"}).memoryLimit, 0);
    EXPECT_EQ(parse({"a", "b"}).memoryLimit, std::nullopt);
    const CliOptions flow = parse({"--jobs", "3", "--range=10:25", "--rate", "field", "a", "b"});
    EXPECT_EQ(flow.jobs, 3);
    EXPECT_EQ(flow.rangeStart, 10);
    EXPECT_EQ(flow.rangeCount, 25);
    EXPECT_TRUE(flow.fieldRate);
    EXPECT_FALSE(parse({"--rate", "frame", "a", "b"}).fieldRate);
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
        const std::string error = errorOf(c.args);
        EXPECT_NE(error.find(c.mentions), std::string::npos) << "got: " << error;
    }
}
