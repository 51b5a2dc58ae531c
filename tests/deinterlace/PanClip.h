// Synthetic interlaced clips of a horizontal pan over fine texture, in any of
// the host's pixel formats, and the measures the pipeline tests compare with.
#pragma once

#include "refhost/Clip.h"
#include "refhost/PixelFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace refhost;

namespace pantest {

// A smooth but detailed picture; three channels from shifted copies of it.
inline double scene(double x, double y) {
    return 128.0 + 60.0 * std::sin(x * 0.37 + y * 0.11) + 40.0 * std::cos(x * 0.05 - y * 0.43) +
           20.0 * std::sin((x + 2.0 * y) * 0.9);
}

inline A_u_char toByte(double v) { return A_u_char(std::lround(std::clamp(v, 0.0, 255.0))); }

inline PF_Pixel panColour(double x, double y) {
    PF_Pixel p;
    p.alpha = 255;
    p.red = toByte(scene(x, y));
    p.green = toByte(0.8 * scene(x + 3.0, y) + 20.0);
    p.blue = toByte(255.0 - scene(x - 5.0, y + 1.0));
    return p;
}

// Progressive moment t of the pan: the picture moved left by speed x t.
inline std::vector<uint8_t> moment(const PixelFormatInfo& info, int width, int height, double t,
                                   double speed) {
    const size_t bpp = size_t(info.bytesPerPixel);
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * bpp);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto encoded = encodePixel(info, panColour(x + speed * t, y));
            std::memcpy(&pixels[(size_t(y) * size_t(width) + size_t(x)) * bpp], encoded.data(), bpp);
        }
    return pixels;
}

// Interlaced frame i: the earlier field from moment 2i, the later from 2i + 1.
// The earlier field is the even rows unless `lowerFirst`.
inline std::vector<uint8_t> interlaced(const PixelFormatInfo& info, int width, int height, int i,
                                       double speed, bool lowerFirst = false) {
    std::vector<uint8_t> frame = moment(info, width, height, 2 * i, speed);
    const std::vector<uint8_t> later = moment(info, width, height, 2 * i + 1, speed);
    const size_t row = size_t(width) * size_t(info.bytesPerPixel);
    for (int y = lowerFirst ? 0 : 1; y < height; y += 2)
        std::memcpy(&frame[size_t(y) * row], &later[size_t(y) * row], row);
    return frame;
}

inline Clip panClip(PF_PixelFormat format, int width, int height, int frames, double speed,
                    bool lowerFirst = false) {
    Clip clip(format, width, height);
    for (int i = 0; i < frames; ++i)
        clip.addFrame(interlaced(clip.formatInfo(), width, height, i, speed, lowerFirst));
    return clip;
}

// Channel value at memory position `at` of pixel (x, y), on the 0..255 scale.
inline double channel(const PixelFormatInfo& info, const std::vector<uint8_t>& pixels, int width,
                      int x, int y, int at) {
    const uint8_t* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * size_t(info.bytesPerPixel)];
    switch (info.depth) {
    case ChannelDepth::Bits8:
        return p[at];
    case ChannelDepth::Bits16: {
        uint16_t v;
        std::memcpy(&v, p + at * 2, 2);
        return v * 255.0 / 32768.0;
    }
    case ChannelDepth::Float: {
        float v;
        std::memcpy(&v, p + at * 4, 4);
        return v * 255.0;
    }
    }
    return 0;
}

// PSNR over the three colour channels, `margin` pixels in from every side.
inline double psnr(const PixelFormatInfo& info, const std::vector<uint8_t>& a,
                   const std::vector<uint8_t>& b, int width, int height, int margin) {
    double sum = 0;
    int64_t n = 0;
    for (int y = margin; y < height - margin; ++y)
        for (int x = margin; x < width - margin; ++x)
            for (int at : {info.redAt, info.greenAt, info.blueAt}) {
                const double d = channel(info, a, width, x, y, at) - channel(info, b, width, x, y, at);
                sum += d * d;
                ++n;
            }
    return 10.0 * std::log10(255.0 * 255.0 / std::max(sum / double(n), 1e-9));
}

// Number of rows y0, y0 + 2, ... that differ.
inline int rowsDiffering(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                         size_t rowBytes, int height, int y0) {
    int n = 0;
    for (int y = y0; y < height; y += 2)
        n += std::memcmp(&a[size_t(y) * rowBytes], &b[size_t(y) * rowBytes], rowBytes) != 0;
    return n;
}

} // namespace pantest
