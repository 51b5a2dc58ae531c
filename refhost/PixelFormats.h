// What the reference host knows about the eleven pixel formats it hands out:
// bytes per pixel, channel depth and where each channel sits in a pixel.
#pragma once

#include "sdk/AE_EffectSuites.h"

#include <array>
#include <cstdint>
#include <string>

namespace refhost {

enum class ChannelDepth { Bits8, Bits16, Float };

struct PixelFormatInfo {
    PF_PixelFormat code;
    ChannelDepth depth;
    int bytesPerPixel;
    // Memory position (0-3) of alpha, red, green and blue. For the VUYA
    // formats "red, green, blue" are Y, U, V: the host converts no colour.
    int alphaAt, redAt, greenAt, blueAt;
    bool vuya; // the colour channels hold Y, U, V
};

// The eleven formats, in the order of the format table: argb, bgra, vuya,
// ae16, Argb, Bgra, Vuya, ae32, ARgb, BGra, VUya.
const std::array<PixelFormatInfo, 11>& allPixelFormats();

// Null for a code the host does not know.
const PixelFormatInfo* pixelFormatInfo(PF_PixelFormat code);

// One pixel of `format` holding `colour`: 8-bit channels as they are, 16-bit
// channels scaled to 0..32768 rounding to nearest, float channels value / 255.
std::array<uint8_t, 16> encodePixel(const PixelFormatInfo& format, const PF_Pixel& colour);

std::string pixelFormatName(PF_PixelFormat code);

} // namespace refhost
