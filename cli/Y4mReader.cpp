#include "cli/Y4mReader.h"

#include "cli/platform/CliPlatform.h"

#include "cli/CliError.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace cli {

namespace {

enum class LineResult { Ok, EndOfStream, Truncated, TooLong };

// Reads up to and excluding '\n'. EndOfStream only when no byte was read.
LineResult readLine(std::FILE* in, std::string& line) {
    line.clear();
    for (;;) {
        const int c = std::getc(in);
        if (c == EOF)
            return line.empty() ? LineResult::EndOfStream : LineResult::Truncated;
        if (c == '\n')
            return LineResult::Ok;
        if (line.size() + 1 >= size_t(kY4mMaxLine))
            return LineResult::TooLong;
        line.push_back(char(c));
    }
}

std::string readErrorText(std::FILE* in) {
    return std::ferror(in) ? std::string(": ") + std::strerror(errno) : std::string();
}

bool isFrameLine(std::string_view line) {
    return line.substr(0, 5) == "FRAME" && (line.size() == 5 || line[5] == ' ');
}

// The interlace tag among a FRAME line's parameters: "Ip", "It", "Ib" as in
// the stream header, or the three-letter form "Ixyz" some writers use (x: t
// or T top field first, b or B bottom first, 1 to 3 progressive; y: p for a
// progressive picture). Unspecified for no tag or one of neither form, as
// frame parameters are tolerated.
Y4mInterlace frameInterlaceOf(std::string_view line) {
    Y4mInterlace interlace = Y4mInterlace::Unspecified;
    size_t at = 5;
    while (at < line.size()) {
        const size_t end = std::min(line.find(' ', at + 1), line.size());
        const std::string_view token = line.substr(at + 1, end - at - 1);
        at = end;
        if (token.empty() || token[0] != 'I')
            continue;
        const std::string_view value = token.substr(1);
        if (value == "p" || (value.size() == 3 && (value[1] == 'p' || (value[0] >= '1' && value[0] <= '3'))))
            interlace = Y4mInterlace::Progressive;
        else if (value == "t" || (value.size() == 3 && (value[0] == 't' || value[0] == 'T')))
            interlace = Y4mInterlace::TopFirst;
        else if (value == "b" || (value.size() == 3 && (value[0] == 'b' || value[0] == 'B')))
            interlace = Y4mInterlace::BottomFirst;
    }
    return interlace;
}

}  // namespace

Y4mReader::Y4mReader(std::FILE* in, std::string name)
    : in_(in), name_(std::move(name)), layout_() {
    std::string line;
    switch (readLine(in_, line)) {
    case LineResult::Ok:
        break;
    case LineResult::EndOfStream:
        throw CliError(name_ + ": empty input, no Y4M header" + readErrorText(in_));
    case LineResult::Truncated:
        throw CliError(name_ + ": Y4M header not terminated by a newline" + readErrorText(in_));
    case LineResult::TooLong:
        throw CliError(name_ + ": Y4M header longer than " + std::to_string(kY4mMaxLine) + " bytes");
    }
    try {
        header_ = parseY4mHeader(line);
    } catch (const CliError& e) {
        throw CliError(name_ + ": " + e.what());
    }
    layout_ = Y4mFrameLayout(header_);

    if (CliPlatform::regularFileSize(in_)) {
        const int64_t dataStart = CliPlatform::streamPosition(in_);
        if (dataStart >= 0)
            frameCount_ = countFrames(dataStart);
    }
}

std::optional<int64_t> Y4mReader::countFrames(int64_t dataStart) const {
    const std::optional<int64_t> size = CliPlatform::regularFileSize(in_);
    if (!size)
        return std::nullopt;
    const int64_t fileSize = *size;
    int64_t count = 0;
    int64_t at = dataStart;
    char buffer[512];
    while (at < fileSize) {
        const int64_t got = CliPlatform::readAt(in_, buffer, sizeof buffer, at);
        if (got <= 0)
            break;
        const void* newline = std::memchr(buffer, '\n', size_t(got));
        if (!newline || !isFrameLine(std::string_view(buffer, size_t(static_cast<const char*>(newline) - buffer))))
            break;  // an unusual FRAME line: the count stops at what is certain
        at += (static_cast<const char*>(newline) - buffer) + 1 + layout_.frameBytes;
        if (at > fileSize)
            break;
        ++count;
    }
    return count;
}

bool Y4mReader::readFrame(Y4mFrame& frame) {
    if (frame.size() != layout_.frameBytes)
        throw CliError(name_ + ": frame buffer does not match the stream's picture size");
    if (aheadTaken_ < ahead_.size()) {
        frame = std::move(ahead_[aheadTaken_++]);
        if (aheadTaken_ == ahead_.size()) {
            ahead_.clear();
            aheadTaken_ = 0;
        }
    } else if (aheadError_) {
        std::rethrow_exception(std::exchange(aheadError_, nullptr));
    } else if (ended_ || !readFromStream(frame)) {
        return false;
    }
    if (frame.interlace == Y4mInterlace::Unspecified)
        frame.interlace = untaggedInterlace_;
    return true;
}

std::span<const Y4mFrame> Y4mReader::readAhead(size_t count) {
    try {
        while (ahead_.size() - aheadTaken_ < count && !ended_ && !aheadError_) {
            ahead_.emplace_back(layout_);
            if (!readFromStream(ahead_.back()))
                ahead_.pop_back();
        }
    } catch (const CliError&) {
        ahead_.pop_back();
        aheadError_ = std::current_exception();
    }
    return std::span<const Y4mFrame>(ahead_).subspan(aheadTaken_);
}

bool Y4mReader::readFromStream(Y4mFrame& frame) {
    const int64_t number = framesRead_ + 1;
    std::string line;
    switch (readLine(in_, line)) {
    case LineResult::EndOfStream:
        if (std::ferror(in_))
            throw CliError(name_ + ": read error before frame " + std::to_string(number) + readErrorText(in_));
        ended_ = true;
        return false;
    case LineResult::Truncated:
        throw CliError(name_ + ": truncated frame " + std::to_string(number) + " (stream ends in its FRAME line)" +
                       readErrorText(in_));
    case LineResult::TooLong:
        throw CliError(name_ + ": malformed FRAME line at frame " + std::to_string(number) + " (too long)");
    case LineResult::Ok:
        break;
    }
    if (!isFrameLine(line))
        throw CliError(name_ + ": malformed FRAME line at frame " + std::to_string(number));
    frame.interlace = frameInterlaceOf(line);
    const size_t want = size_t(layout_.frameBytes);
    const size_t got = std::fread(frame.dataToOverwrite(), 1, want, in_);
    if (got != want)
        throw CliError(name_ + ": truncated frame " + std::to_string(number) + " (" + std::to_string(got) + " of " +
                       std::to_string(want) + " bytes)" + readErrorText(in_));
    ++framesRead_;
    return true;
}

} // namespace cli
