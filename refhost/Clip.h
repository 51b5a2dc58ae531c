// A layer as the reference host plays it: frames of one pixel format and size
// at successive times (frame k at time k x time step). The caller hands each
// frame in as packed rows (no padding); the host copies a frame into a padded
// host frame whenever the plug-in asks for it.
//
// A clip can be a sliding window over an endless stream: dropFramesBefore()
// forgets the oldest frames (they then answer like frames before the clip's
// start), and renumberFrom() gives the held frames new indices, so that the
// times handed to the plug-in stay small however long the stream runs.
#pragma once

#include "refhost/PixelFormats.h"
#include "sdk/AE_Effect.h"

#include <cstdint>
#include <stdexcept>
#include <deque>
#include <vector>

namespace refhost {

class Clip {
public:
    // Throws std::invalid_argument for an unknown format or a negative size.
    Clip(PF_PixelFormat format, A_long width, A_long height);

    // Appends a frame of width x height x bytes-per-pixel bytes; throws
    // std::invalid_argument for any other size.
    void addFrame(std::vector<uint8_t> pixels);

    PF_PixelFormat format() const { return format_; }
    const PixelFormatInfo& formatInfo() const { return *pixelFormatInfo(format_); }
    A_long width() const { return width_; }
    A_long height() const { return height_; }
    // One past the index of the newest frame (the frames ever added, counted
    // from the current numbering).
    int frameCount() const { return first_ + int(frames_.size()); }
    // Index of the oldest frame held; frames before it were dropped.
    int firstFrame() const { return first_; }
    int framesHeld() const { return int(frames_.size()); }
    bool hasFrame(int index) const { return index >= first_ && index < frameCount(); }
    // Bytes of one packed row and of one frame.
    size_t rowBytes() const { return size_t(width_) * size_t(formatInfo().bytesPerPixel); }
    size_t frameBytes() const { return rowBytes() * size_t(height_); }
    // Throws std::out_of_range for a frame not held.
    const std::vector<uint8_t>& frame(int index) const;

    // Forgets the frames before `index`; hands their buffers back for reuse.
    std::vector<std::vector<uint8_t>> dropFramesBefore(int index);
    // The oldest held frame gets index `first` (and the others follow).
    void renumberFrom(int first) { first_ = first; }

private:
    PF_PixelFormat format_;
    A_long width_, height_;
    int first_ = 0;
    std::deque<std::vector<uint8_t>> frames_;
};

} // namespace refhost
