// Reads a Y4M stream one frame at a time from a FILE* (a file, a pipe or
// standard input). Every problem is a CliError naming it.
#pragma once

#include "cli/Y4mFrame.h"
#include "cli/Y4mHeader.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <vector>

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
    // interlace tag of its FRAME line (see setUntaggedInterlace). Returns
    // false at the clean end of the stream; throws on a garbage FRAME line or
    // a truncated frame.
    bool readFrame(Y4mFrame& frame);
    int64_t framesRead() const { return framesRead_; }

    // Reads frames ahead of the caller, for a look at the stream before it
    // is processed: up to `count` are held, and readFrame hands them out
    // first, so that none is lost. A bad frame ends the look; its error is
    // thrown by the readFrame that reaches it. Returns the frames held, with
    // the tags of their FRAME lines.
    std::span<const Y4mFrame> readAhead(size_t count);

    // Frames whose FRAME line carries no interlace tag are handed out with
    // this one (Unspecified unless set), as if their lines had it.
    void setUntaggedInterlace(Y4mInterlace interlace) { untaggedInterlace_ = interlace; }

private:
    std::optional<int64_t> countFrames(int64_t dataStart) const;
    bool readFromStream(Y4mFrame& frame);

    std::FILE* in_;
    std::string name_;
    Y4mHeader header_;
    Y4mFrameLayout layout_;
    std::optional<int64_t> frameCount_;
    int64_t framesRead_ = 0;
    std::vector<Y4mFrame> ahead_;     // from index aheadTaken_ on, not yet handed out
    size_t aheadTaken_ = 0;
    std::exception_ptr aheadError_;
    bool ended_ = false;
    Y4mInterlace untaggedInterlace_ = Y4mInterlace::Unspecified;
};

} // namespace cli
