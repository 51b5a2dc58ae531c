// A layer as the reference host plays it: frames of one pixel format and size
// at successive times (frame k at time k x time step). The caller hands each
// frame in as packed rows (no padding); the host copies a frame into a padded
// host frame whenever the plug-in asks for it.
#pragma once

#include "refhost/PixelFormats.h"
#include "sdk/AE_Effect.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

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
    int frameCount() const { return int(frames_.size()); }
    // Bytes of one packed row and of one frame.
    size_t rowBytes() const { return size_t(width_) * size_t(formatInfo().bytesPerPixel); }
    size_t frameBytes() const { return rowBytes() * size_t(height_); }
    const std::vector<uint8_t>& frame(int index) const { return frames_.at(size_t(index)); }

private:
    PF_PixelFormat format_;
    A_long width_, height_;
    std::vector<std::vector<uint8_t>> frames_;
};
