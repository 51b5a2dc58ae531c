// The command line of `velmora`: what to do and how.
//
//   velmora [options] INPUT OUTPUT     deinterlace a Y4M stream ("-": stdin/stdout)
//   velmora demo [DIR]                 the synthetic demo (default DIR demo-output)
//   velmora info                       what the plug-in registers and accepts
//   velmora interlace INPUT OUTPUT [TRUTH]
//                                      weave a progressive clip into an interlaced
//                                      one (for peer comparisons; not in --help)
#pragma once

#include "cli/PixelConversion.h"
#include "cli/PixelFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

enum class CliCommand { Deinterlace, Demo, Info, Interlace, Help, Version };
enum class MotionMode { Off = 1, Fast = 2, Better = 3, Best = 4 };
enum class FieldOrder { Upper, Lower };
enum class RenderProtocol { Smart, Legacy };
enum class HostKind { AfterEffects, Premiere, KeyG };
enum class ProgressMode { Auto, Always, Never };

// Without --motion the command renders "Better": on the peer clips it is as
// fast as "Fast" and better on four of five; "Best" gains a few tenths of a
// dB for about ten times the time (README, peer comparison).
inline constexpr MotionMode kDefaultMotion = MotionMode::Better;

// Frames rendered at once without --jobs (README, speed of --jobs).
inline constexpr int kDefaultJobs = 1;

struct CliOptions {
    CliCommand command = CliCommand::Deinterlace;
    std::vector<std::string> operands;      // INPUT OUTPUT, DIR, ...
    std::optional<FieldOrder> fields;       // none (auto): from the tags, else measured
    MotionMode motion = kDefaultMotion;
    bool correctErrors = false;
    int threads = 0;                        // 0: every processor
    RenderProtocol protocol = RenderProtocol::Smart;
    HostKind host = HostKind::AfterEffects;
    std::optional<PixelFormat> format;      // none: VUYA at the stream's depth
    ColourMatrix matrix = ColourMatrix::BT709;
    ProgressMode progress = ProgressMode::Auto;
    std::string pluginPath;                 // empty: found beside the program
    // Runs estimated to need more memory are refused. None: the machine's
    // memory; 0: never refuse (--memory-limit none).
    std::optional<int64_t> memoryLimit;
    bool fieldRate = false;                 // --rate field: one frame per field
    int jobs = kDefaultJobs;                // frames rendered at once
    int64_t rangeStart = 0;                 // --range START:COUNT
    std::optional<int64_t> rangeCount;
};

// Parses argv[1..]; throws CliError naming the bad option or value, or a
// missing or surplus operand.
CliOptions parseCliOptions(const std::vector<std::string>& args);

const char* motionModeName(MotionMode mode);
const char* usageText();

} // namespace cli
