// The streaming deinterlace loop: reads Y4M frames, hands each one to the
// plug-in as a host does and writes the rendered frames, keeping only the
// frames the plug-in checks out (the current one and those its mode looks
// back at), in one job or several rendering frames at once.
#pragma once

#include "cli/PixelConversion.h"
#include "cli/PixelFormat.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"
#include "refhost/RenderDriver.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace cli {

// Most frames a render checks out: the current one and the two earlier ones
// that "Best" reads.
inline constexpr int kStreamWindowFrames = 3;

// Frames before the current one that the plug-in checks out in each "Motion
// Compensation" mode (1 "Off" ... 4 "Best"): a frame's output depends on
// those input frames and on its own, nothing else.
int earlierFramesOf(A_long motion);

struct StreamSettings {
    refhost::RenderParams params; // params.fields: the kept field of frames without a tag of their own
    // Frames tagged It or Ib keep the field their tag names (off when the
    // field was chosen on the command line). Frames tagged Ip pass through
    // unchanged either way.
    bool fieldsFromFrameTags = true;
    refhost::Protocol protocol = refhost::Protocol::Smart;
    PixelFormat format = PixelFormat::vuya;
    ColourMatrix matrix = ColourMatrix::BT709;
    // Input frames rendered: rangeStart ... rangeStart + rangeCount - 1 (none:
    // to the end). The frames before that the mode looks back at are read and
    // handed to the plug-in, not written, so that parts of a clip rendered
    // apart and joined equal the whole run.
    int64_t rangeStart = 0;
    std::optional<int64_t> rangeCount;
    // Two output frames per input frame: the usual render, then one that keeps
    // the second field, rendered from the stream re-paired by one field (frame
    // i: the second field of input frame i and the first of frame i + 1, in
    // the opposite order), so that the plug-in looks back at the fields just
    // before it in time. The last frame is paired with its own first field.
    // At a clip's first frame the motion modes show the second field (no
    // earlier field to bring motion from), so the pair there is that frame
    // rendered with "Off" (its first field) and then as usual.
    bool fieldRate = false;
};

struct StreamResult {
    int64_t frames = 0;      // input frames rendered (or passed through)
    double seconds = 0;      // reading, converting, rendering and writing
    int mostFramesHeld = 0;  // largest number of input frames held at once
};

// Runs to the end of the input (or of the range). Reading and writing run on
// threads of their own, a frame or two ahead of and behind the renders; each
// driver renders on a thread of its own, one frame at a time, with its own
// copies of the earlier frames (a job), and frames are written in order.
// `onFrame` (if set) is called on the calling thread after each input frame
// rendered, with the count so far; every rendered frame is written before
// this returns. Throws CliError naming the problem (a bad stream, a failed
// write, a plug-in error with its frame number).
StreamResult deinterlaceStream(const std::vector<refhost::RenderDriver*>& jobs, Y4mReader& reader, Y4mWriter& writer,
                               const StreamSettings& settings,
                               const std::function<void(int64_t)>& onFrame = {});
inline StreamResult deinterlaceStream(refhost::RenderDriver& driver, Y4mReader& reader, Y4mWriter& writer,
                                      const StreamSettings& settings,
                                      const std::function<void(int64_t)>& onFrame = {}) {
    return deinterlaceStream(std::vector<refhost::RenderDriver*>{&driver}, reader, writer, settings, onFrame);
}

// The header of a field-rate output: twice the frame rate (unchanged when the
// input gives none).
Y4mHeader fieldRateHeaderOf(const Y4mHeader& header);

// Bytes of memory a run over pictures of this header in this pixel format
// is expected to need at its peak (the pipeline's frames, the host's and the
// plug-in's), for refusing runs the machine cannot hold.
int64_t streamMemoryEstimate(const Y4mHeader& header, PixelFormat format, int jobs = 1, bool fieldRate = false);

// The layer rectangle {0, 0, width, height} cut out of a rendered frame whose
// pixel (0, 0) lies at (originX, originY) in layer coordinates, as packed
// rows. Throws CliError when the frame does not cover it.
std::vector<uint8_t> layerPixelsOf(const refhost::Frame& frame, int width, int height, int pixelBytes);

} // namespace cli
