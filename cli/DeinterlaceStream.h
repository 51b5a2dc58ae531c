// The streaming deinterlace loop: reads Y4M frames, hands each one to the
// plug-in as a host does and writes the rendered frames, keeping only the
// frames the plug-in may still check out (the current one and two earlier).
#pragma once

#include "cli/PixelConversion.h"
#include "cli/PixelFormat.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"
#include "refhost/RenderDriver.h"

#include <cstdint>
#include <functional>

namespace cli {

// Frames a render may check out: the current one and the two earlier ones
// that "Best" reads.
inline constexpr int kStreamWindowFrames = 3;

struct StreamSettings {
    refhost::RenderParams params; // params.fields: the kept field of frames without a tag of their own
    // Frames tagged It or Ib keep the field their tag names (off when the
    // field was chosen on the command line). Frames tagged Ip pass through
    // unchanged either way.
    bool fieldsFromFrameTags = true;
    refhost::Protocol protocol = refhost::Protocol::Smart;
    PixelFormat format = PixelFormat::vuya;
    ColourMatrix matrix = ColourMatrix::BT709;
};

struct StreamResult {
    int64_t frames = 0;
    double seconds = 0;      // reading, converting, rendering and writing
    int mostFramesHeld = 0;  // largest number of input frames held at once
};

// Runs to the end of the input. Reading and writing run on threads of their
// own, a frame or two ahead of and behind the render. `onFrame` (if set) is
// called on the calling thread after each frame rendered, with the count so
// far; every rendered frame is written before this returns. Throws CliError naming the problem (a
// bad stream, a failed write, a plug-in error with its frame number).
StreamResult deinterlaceStream(refhost::RenderDriver& driver, Y4mReader& reader, Y4mWriter& writer,
                               const StreamSettings& settings,
                               const std::function<void(int64_t)>& onFrame = {});

// Bytes of memory a run over pictures of this header in this pixel format
// is expected to need at its peak (the pipeline's frames, the host's and the
// plug-in's), for refusing runs the machine cannot hold.
int64_t streamMemoryEstimate(const Y4mHeader& header, PixelFormat format);

// The layer rectangle {0, 0, width, height} cut out of a rendered frame whose
// pixel (0, 0) lies at (originX, originY) in layer coordinates, as packed
// rows. Throws CliError when the frame does not cover it.
std::vector<uint8_t> layerPixelsOf(const refhost::Frame& frame, int width, int height, int pixelBytes);

} // namespace cli
