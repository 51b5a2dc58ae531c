#include "cli/Y4mWriter.h"

#include "cli/CliError.h"
#include "cli/platform/CliPlatform.h"

#include <cerrno>
#include <cstring>

namespace cli {

namespace {

Y4mHeader progressive(Y4mHeader header) {
    header.interlace = Y4mInterlace::Progressive;
    return header;
}

}  // namespace

Y4mWriter::Y4mWriter(std::FILE* out, const Y4mHeader& header, std::string name, Tag tag)
    : out_(out), name_(std::move(name)), header_(tag == Tag::Progressive ? progressive(header) : header),
      layout_(header_) {
    const std::string line = formatY4mHeader(header_);
    write(line.data(), line.size());
}

void Y4mWriter::write(const void* bytes, size_t size) {
    errno = 0;
    if (std::fwrite(bytes, 1, size, out_) != size || std::ferror(out_)) {
        const int error = errno;
        throw CliError(name_ + ": write failed" +
                       (CliPlatform::writeFailedOnClosedPipe(error) ? std::string(" (the reading end of the pipe was closed)")
                                       : error ? std::string(": ") + std::strerror(error) : std::string()));
    }
}

void Y4mWriter::writeFrame(const Y4mFrame& frame) {
    if (frame.size() != layout_.frameBytes)
        throw CliError(name_ + ": frame does not match the output picture size");
    static constexpr char frameLine[] = "FRAME\n";
    write(frameLine, sizeof frameLine - 1);
    write(frame.data(), size_t(frame.size()));
    ++framesWritten_;
}

void Y4mWriter::flush() {
    errno = 0;
    if (std::fflush(out_) != 0 || std::ferror(out_)) {
        const int error = errno;
        throw CliError(name_ + ": write failed" +
                       (CliPlatform::writeFailedOnClosedPipe(error) ? std::string(" (the reading end of the pipe was closed)")
                                       : error ? std::string(": ") + std::strerror(error) : std::string()));
    }
}

} // namespace cli
