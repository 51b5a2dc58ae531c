// Writes a progressive Y4M stream: the input's header with the interlace tag
// set to Ip (or kept as it is, for streams that are not deinterlaced), then
// one FRAME per picture. A failed write (a full disk, a closed
// pipe) throws a CliError naming it.
#pragma once

#include "cli/Y4mFrame.h"
#include "cli/Y4mHeader.h"

#include <cstdio>
#include <string>

namespace cli {

class Y4mWriter {
public:
    enum class Tag { Progressive, AsGiven };
    // Writes the header at once.
    Y4mWriter(std::FILE* out, const Y4mHeader& header, std::string name, Tag tag = Tag::Progressive);

    const Y4mHeader& header() const { return header_; }
    const Y4mFrameLayout& layout() const { return layout_; }

    void writeFrame(const Y4mFrame& frame);
    // Pushes buffered bytes out; call before the output is closed or renamed.
    void flush();
    int64_t framesWritten() const { return framesWritten_; }

private:
    void write(const void* bytes, size_t size);

    std::FILE* out_;
    std::string name_;
    Y4mHeader header_;
    Y4mFrameLayout layout_;
    int64_t framesWritten_ = 0;
};

} // namespace cli
