// The plug-in's eleven pixel formats: four-character codes (first character in
// the lowest byte), channel depth and channel order of the interleaved
// four-channel pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

enum class PixelFormat { argb, bgra, vuya, ae16, Argb, Bgra, Vuya, ae32, ARgb, BGra, VUya };
enum class ChannelDepth { U8, U16, F32 };
// VUYA lies in memory like BGRA: V, U, Y, A.
enum class ChannelOrder { ARGB, BGRA, VUYA };

struct PixelFormatInfo {
    PixelFormat format;
    const char* name;
    ChannelDepth depth;
    ChannelOrder order;
    int channelBytes;
    int pixelBytes;
};

inline constexpr PixelFormatInfo kPixelFormats[] = {
    {PixelFormat::argb, "argb", ChannelDepth::U8, ChannelOrder::ARGB, 1, 4},
    {PixelFormat::bgra, "bgra", ChannelDepth::U8, ChannelOrder::BGRA, 1, 4},
    {PixelFormat::vuya, "vuya", ChannelDepth::U8, ChannelOrder::VUYA, 1, 4},
    {PixelFormat::ae16, "ae16", ChannelDepth::U16, ChannelOrder::ARGB, 2, 8},
    {PixelFormat::Argb, "Argb", ChannelDepth::U16, ChannelOrder::ARGB, 2, 8},
    {PixelFormat::Bgra, "Bgra", ChannelDepth::U16, ChannelOrder::BGRA, 2, 8},
    {PixelFormat::Vuya, "Vuya", ChannelDepth::U16, ChannelOrder::VUYA, 2, 8},
    {PixelFormat::ae32, "ae32", ChannelDepth::F32, ChannelOrder::ARGB, 4, 16},
    {PixelFormat::ARgb, "ARgb", ChannelDepth::F32, ChannelOrder::ARGB, 4, 16},
    {PixelFormat::BGra, "BGra", ChannelDepth::F32, ChannelOrder::BGRA, 4, 16},
    {PixelFormat::VUya, "VUya", ChannelDepth::F32, ChannelOrder::VUYA, 4, 16},
};

inline const PixelFormatInfo& pixelFormatInfo(PixelFormat format) {
    return kPixelFormats[int(format)];
}

// The code as the host passes it: the 32-bit little-endian value of the four
// name bytes in memory order.
inline uint32_t pixelFormatCode(PixelFormat format) {
    const char* n = pixelFormatInfo(format).name;
    return uint32_t(uint8_t(n[0])) | uint32_t(uint8_t(n[1])) << 8 | uint32_t(uint8_t(n[2])) << 16 |
           uint32_t(uint8_t(n[3])) << 24;
}

inline std::optional<PixelFormat> pixelFormatFromName(std::string_view name) {
    for (const PixelFormatInfo& info : kPixelFormats)
        if (name == info.name)
            return info.format;
    return std::nullopt;
}

inline std::optional<PixelFormat> pixelFormatFromCode(uint32_t code) {
    for (const PixelFormatInfo& info : kPixelFormats)
        if (pixelFormatCode(info.format) == code)
            return info.format;
    return std::nullopt;
}

// YUV goes to the plug-in as VUYA without colour conversion: 8-bit streams as
// "vuya", deeper ones as "Vuya".
inline PixelFormat defaultPixelFormat(int bitDepth) {
    return bitDepth > 8 ? PixelFormat::Vuya : PixelFormat::vuya;
}
