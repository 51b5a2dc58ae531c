// Reads a Y4M stream one frame at a time from a FILE* (a file, a pipe or
// standard input). Every problem is a CliError naming it.
#pragma once

#include "cli/Y4mFrame.h"
#include "cli/Y4mHeader.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace cli {

class Y4mReader {
public:
    // Reads and checks the stream header. `name` is used in messages.
    Y4mReader(std::FILE* in, std::string name);

    const Y4mHeader& header() const { return header_; }
    const Y4mFrameLayout& layout() const { return layout_; }

    // Complete frames in the stream when it is a regular file (counted by
    // walking the FRAME lines without reading the pictures); empty otherwise.
    std::optional<int64_t> frameCount() const { return frameCount_; }

    // Reads the next frame into `frame` (laid out for this stream), with the
    // interlace tag of its FRAME line. Returns
    // false at the clean end of the stream; throws on a garbage FRAME line or
    // a truncated frame.
    bool readFrame(Y4mFrame& frame);
    int64_t framesRead() const { return framesRead_; }

private:
    std::optional<int64_t> countFrames(int64_t dataStart) const;

    std::FILE* in_;
    std::string name_;
    Y4mHeader header_;
    Y4mFrameLayout layout_;
    std::optional<int64_t> frameCount_;
    int64_t framesRead_ = 0;
};

} // namespace cli
