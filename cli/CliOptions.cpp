#include "cli/CliOptions.h"

#include "cli/CliError.h"

#include <charconv>
#include <cstdint>

namespace cli {

namespace {

struct Choice {
    const char* name;
    int value;
};

template <class Enum, size_t N>
Enum choose(const std::string& option, const std::string& value, const Choice (&choices)[N]) {
    std::string names;
    for (const Choice& c : choices) {
        if (value == c.name)
            return Enum(c.value);
        names += names.empty() ? "" : ", ";
        names += c.name;
    }
    throw CliError(option + ": unknown value \"" + value + "\" (one of " + names + ")");
}

int parseThreads(const std::string& value, const char* option = "--threads", const char* what = "thread") {
    int n = 0;
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, n);
    if (ec != std::errc() || ptr != end || n < 1 || n > 256)
        throw CliError(std::string(option) + ": \"" + value + "\" is not a " + what + " count from 1 to 256");
    return n;
}

// START:COUNT, both whole numbers, COUNT at least 1.
void parseRange(const std::string& value, CliOptions& o) {
    int64_t start = -1, count = 0;
    const char* end = value.data() + value.size();
    const auto [colon, ec] = std::from_chars(value.data(), end, start);
    const auto [ptr, ec2] = colon != end && *colon == ':' ? std::from_chars(colon + 1, end, count)
                                                          : std::from_chars_result{colon, std::errc::invalid_argument};
    if (ec != std::errc() || ec2 != std::errc() || ptr != end || start < 0 || count < 1)
        throw CliError("--range: \"" + value + "\" is not START:COUNT (a first frame from 0 and a frame count from 1)");
    o.rangeStart = start;
    o.rangeCount = count;
}

// Bytes, with an optional binary suffix K, M, G or T; "none" is 0.
int64_t parseMemorySize(const std::string& value) {
    if (value == "none")
        return 0;
    int64_t n = 0;
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, n);
    int shift = 0;
    if (ptr + 1 == end) {
        switch (*ptr | 0x20) {
        case 'k': shift = 10; break;
        case 'm': shift = 20; break;
        case 'g': shift = 30; break;
        case 't': shift = 40; break;
        default: shift = -1;
        }
    }
    if (ec != std::errc() || n < 1 || shift < 0 || (ptr != end && shift == 0) || n > (INT64_MAX >> shift))
        throw CliError("--memory-limit: \"" + value + "\" is not a size (bytes, or with K, M, G or T) or none");
    return n << shift;
}

size_t operandCount(CliCommand command, size_t given) {
    switch (command) {
    case CliCommand::Deinterlace:
        return 2;
    case CliCommand::Demo:
        return given <= 1 ? given : 1;
    case CliCommand::Interlace:
        return given == 3 ? 3 : 2;
    default:
        return 0;
    }
}

} // namespace

CliOptions parseCliOptions(const std::vector<std::string>& args) {
    CliOptions o;
    bool commandSeen = false;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool isOption = !optionsEnd && a.size() > 1 && a[0] == '-';
        if (!isOption) {
            // After "--" every word is an operand, even one named like a command.
            if (!optionsEnd && !commandSeen && o.operands.empty() &&
                (a == "demo" || a == "info" || a == "interlace")) {
                o.command = a == "demo" ? CliCommand::Demo : a == "info" ? CliCommand::Info : CliCommand::Interlace;
            } else {
                o.operands.push_back(a);
            }
            commandSeen = true;
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        // --name=value or --name value.
        std::string name = a, value;
        bool inlineValue = false;
        if (const size_t eq = a.find('='); eq != std::string::npos && a.rfind("--", 0) == 0) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        auto takeValue = [&]() -> const std::string& {
            if (!inlineValue) {
                if (i + 1 >= args.size())
                    throw CliError(name + ": missing value");
                value = args[++i];
            }
            return value;
        };
        auto noValue = [&] {
            if (inlineValue)
                throw CliError(name + ": takes no value");
        };
        if (name == "-h" || name == "--help") {
            noValue();
            o.command = CliCommand::Help;
            return o;
        } else if (name == "--version") {
            noValue();
            o.command = CliCommand::Version;
            return o;
        } else if (name == "--fields") {
            constexpr int automatic = -1;  // from the tags, else measured
            static constexpr Choice c[] = {{"upper", int(FieldOrder::Upper)}, {"lower", int(FieldOrder::Lower)},
                                           {"auto", automatic}};
            const int choice = choose<int>(name, takeValue(), c);
            o.fields = choice == automatic ? std::nullopt : std::optional(FieldOrder(choice));
        } else if (name == "--motion") {
            static constexpr Choice c[] = {{"off", 1}, {"fast", 2}, {"better", 3}, {"best", 4}};
            o.motion = choose<MotionMode>(name, takeValue(), c);
        } else if (name == "--correct-errors") {
            noValue();
            o.correctErrors = true;
        } else if (name == "--threads") {
            o.threads = parseThreads(takeValue());
        } else if (name == "--jobs") {
            o.jobs = parseThreads(takeValue(), "--jobs", "job");
        } else if (name == "--range") {
            parseRange(takeValue(), o);
        } else if (name == "--rate") {
            static constexpr Choice c[] = {{"frame", 0}, {"field", 1}};
            o.fieldRate = choose<int>(name, takeValue(), c) == 1;
        } else if (name == "--protocol") {
            static constexpr Choice c[] = {{"smart", int(RenderProtocol::Smart)}, {"legacy", int(RenderProtocol::Legacy)}};
            o.protocol = choose<RenderProtocol>(name, takeValue(), c);
        } else if (name == "--host") {
            static constexpr Choice c[] = {{"ae", int(HostKind::AfterEffects)},
                                           {"premiere", int(HostKind::Premiere)},
                                           {"keyg", int(HostKind::KeyG)}};
            o.host = choose<HostKind>(name, takeValue(), c);
        } else if (name == "--format") {
            const std::string& code = takeValue();
            o.format = pixelFormatFromName(code);
            if (!o.format) {
                std::string names;
                for (const refhost::PixelFormatInfo& t : refhost::allPixelFormats())
                    names += std::string(names.empty() ? "" : ", ") + refhost::pixelFormatName(t.code);
                throw CliError("--format: unknown pixel format \"" + code + "\" (one of " + names + ")");
            }
        } else if (name == "--matrix") {
            static constexpr Choice c[] = {{"bt601", int(ColourMatrix::BT601)}, {"bt709", int(ColourMatrix::BT709)}};
            o.matrix = choose<ColourMatrix>(name, takeValue(), c);
        } else if (name == "--progress") {
            noValue();
            o.progress = ProgressMode::Always;
        } else if (name == "--quiet" || name == "-q") {
            noValue();
            o.progress = ProgressMode::Never;
        } else if (name == "--memory-limit") {
            o.memoryLimit = parseMemorySize(takeValue());
        } else if (name == "--plugin") {
            o.pluginPath = takeValue();
            if (o.pluginPath.empty())
                throw CliError("--plugin: empty path");
        } else {
            throw CliError("unknown option " + a + " (see velmora --help)");
        }
    }
    const size_t wanted = operandCount(o.command, o.operands.size());
    if (o.operands.size() < wanted)
        throw CliError(o.command == CliCommand::Deinterlace ? "expected INPUT and OUTPUT (\"-\" for standard input or output)"
                                                            : "missing operand (see velmora --help)");
    if (o.operands.size() > wanted)
        throw CliError("unexpected operand \"" + o.operands[wanted] + "\"");
    return o;
}

const char* motionModeName(MotionMode mode) {
    switch (mode) {
    case MotionMode::Off:
        return "Off";
    case MotionMode::Fast:
        return "Fast";
    case MotionMode::Better:
        return "Better";
    case MotionMode::Best:
        return "Best";
    }
    return "?";
}

const char* usageText() {
    return R"(Usage: velmora [options] INPUT OUTPUT
       velmora demo [DIR]
       velmora info

Deinterlaces a YUV4MPEG2 (Y4M) stream through the Velmora plug-in, driven by
the reference host as an effect host drives it. INPUT and OUTPUT are Y4M files,
or "-" for standard input and output:
  ffmpeg -i in.mts -f yuv4mpegpipe - | velmora - - | ffmpeg -i - out.mp4

Options:
  --fields upper|lower|auto
                           field kept; auto (the default): from the interlace
                           tags, else measured on the first frames (progressive
                           frames pass through unchanged)
  --motion off|fast|better|best
                           motion compensation (default: better)
  --correct-errors         discard motion vectors whose colours do not match
  --threads N              host worker threads of each job (default: every
                           processor, divided among the jobs)
  --jobs N                 frames rendered at once, each by a host of its own
                           (default: 1)
  --range START:COUNT      render only input frames START ... START+COUNT-1
                           (from 0); the parts of a clip rendered apart and
                           joined equal the whole run
  --rate frame|field       one output frame per input frame, or one per field
                           at twice the frame rate (default: frame)
  --protocol smart|legacy  render protocol (default: smart)
  --host ae|premiere|keyg  host to play (default: ae)
  --format CODE            pixel format handed to the plug-in: argb bgra vuya
                           ae16 Argb Bgra Vuya ae32 ARgb BGra VUya
                           (default: vuya for 8-bit streams, Vuya above)
  --matrix bt601|bt709     RGB matrix of the RGB formats (default: bt709)
  --memory-limit SIZE|none refuse to start a run estimated to need more memory
                           than SIZE (bytes, or with K, M, G or T; default: the
                           machine's memory); none: never refuse
  --plugin PATH            the plug-in (default: Velmora.so beside the program's
                           folder, then beside the program, then
                           ../lib/velmora/Velmora.so from the program's folder)
  --progress               progress on standard error even when not a terminal
  --quiet                  no progress, no warnings
  --help, --version

Commands:
  demo [DIR]  synthesise an interlaced scene, deinterlace it in every mode and
              write Y4M results, PNG comparisons and a PSNR table (default DIR
              demo-output)
  info        the plug-in's registration, parameters and pixel formats
)";
}

} // namespace cli
