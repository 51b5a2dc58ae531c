// `velmora demo [DIR]`: synthesises the demo scene (DemoScene), interlaces
// it (FieldWeave), deinterlaces it through the plug-in in every mode with the
// command's own streaming loop and writes into DIR:
//   truth.y4m, interlaced.y4m, velmora-<mode>.y4m
//   compare.png   a 2x crop, side by side, each labelled above: interlaced
//                 input, Off, Fast, Better, Best, ground truth (frame 6)
//   <name>.png    the whole of frame 6 of each
// and prints per mode the luma PSNR against the truth (frames 2 on: the first
// two lack the earlier fields the motion modes use) and the frames per second.
#pragma once

#include "cli/CliOptions.h"

#include <ostream>
#include <string>

namespace cli {

struct DemoSettings {
    std::string folder = "demo-output";
    std::string pluginPath;
    HostKind host = HostKind::AfterEffects;
    int threads = 0;
    int frames = 12;  // interlaced frames
};

void runDemo(const DemoSettings& settings, std::ostream& out);

} // namespace cli
