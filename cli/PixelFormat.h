// The command's names for the eleven pixel formats (the words of "--format",
// each the four characters of its code) over the reference host's table of
// what every format holds: depth, bytes and channel positions.
#pragma once

#include "refhost/PixelFormats.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cli {

// Each named as its code reads and valued as the code the host passes.
enum class PixelFormat : uint32_t {
    argb = PF_PixelFormat_ARGB32,
    bgra = PrPixelFormat_BGRA_4444_8u,
    vuya = PrPixelFormat_VUYA_4444_8u,
    ae16 = PF_PixelFormat_ARGB64,
    Argb = PrPixelFormat_ARGB_4444_16u,
    Bgra = PrPixelFormat_BGRA_4444_16u,
    Vuya = PrPixelFormat_VUYA_4444_16u,
    ae32 = PF_PixelFormat_ARGB128,
    ARgb = PrPixelFormat_ARGB_4444_32f,
    BGra = PrPixelFormat_BGRA_4444_32f,
    VUya = PrPixelFormat_VUYA_4444_32f,
};

// How the conversion fills a pixel: RGB alpha first, RGB alpha last, or the
// stream's own Y, U, V unconverted (laid out in memory like BGRA: V, U, Y, A).
enum class ChannelOrder { ARGB, BGRA, VUYA };

inline const refhost::PixelFormatInfo& formatInfo(PixelFormat format) {
    return *refhost::pixelFormatInfo(PF_PixelFormat(format));
}

// The code as the host passes it: the 32-bit little-endian value of the four
// name bytes in memory order.
inline uint32_t pixelFormatCode(PixelFormat format) { return uint32_t(format); }

inline std::string formatName(PixelFormat format) { return refhost::pixelFormatName(PF_PixelFormat(format)); }

inline ChannelOrder channelOrder(PixelFormat format) {
    const refhost::PixelFormatInfo& info = formatInfo(format);
    return info.vuya ? ChannelOrder::VUYA : info.alphaAt == 0 ? ChannelOrder::ARGB : ChannelOrder::BGRA;
}

inline std::optional<PixelFormat> pixelFormatFromName(std::string_view name) {
    for (const refhost::PixelFormatInfo& info : refhost::allPixelFormats())
        if (name == refhost::pixelFormatName(info.code))
            return PixelFormat(info.code);
    return std::nullopt;
}

// YUV goes to the plug-in as VUYA without colour conversion: 8-bit streams as
// "vuya", deeper ones as "Vuya".
inline PixelFormat defaultPixelFormat(int bitDepth) {
    return bitDepth > 8 ? PixelFormat::Vuya : PixelFormat::vuya;
}

} // namespace cli
