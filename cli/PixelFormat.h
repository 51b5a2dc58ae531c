// The plug-in's eleven pixel formats: four-character codes (first character in
// the lowest byte), channel depth and channel order of the interleaved
// four-channel pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

enum class PixelFormat { argb, bgra, vuya, ae16, Argb, Bgra, Vuya, ae32, ARgb, BGra, VUya };
enum class SampleDepth { U8, U16, F32 };
// VUYA lies in memory like BGRA: V, U, Y, A.
enum class ChannelOrder { ARGB, BGRA, VUYA };

struct PixelFormatTraits {
    PixelFormat format;
    const char* name;
    SampleDepth depth;
    ChannelOrder order;
    int channelBytes;
    int pixelBytes;
};

inline constexpr PixelFormatTraits kPixelFormats[] = {
    {PixelFormat::argb, "argb", SampleDepth::U8, ChannelOrder::ARGB, 1, 4},
    {PixelFormat::bgra, "bgra", SampleDepth::U8, ChannelOrder::BGRA, 1, 4},
    {PixelFormat::vuya, "vuya", SampleDepth::U8, ChannelOrder::VUYA, 1, 4},
    {PixelFormat::ae16, "ae16", SampleDepth::U16, ChannelOrder::ARGB, 2, 8},
    {PixelFormat::Argb, "Argb", SampleDepth::U16, ChannelOrder::ARGB, 2, 8},
    {PixelFormat::Bgra, "Bgra", SampleDepth::U16, ChannelOrder::BGRA, 2, 8},
    {PixelFormat::Vuya, "Vuya", SampleDepth::U16, ChannelOrder::VUYA, 2, 8},
    {PixelFormat::ae32, "ae32", SampleDepth::F32, ChannelOrder::ARGB, 4, 16},
    {PixelFormat::ARgb, "ARgb", SampleDepth::F32, ChannelOrder::ARGB, 4, 16},
    {PixelFormat::BGra, "BGra", SampleDepth::F32, ChannelOrder::BGRA, 4, 16},
    {PixelFormat::VUya, "VUya", SampleDepth::F32, ChannelOrder::VUYA, 4, 16},
};

inline const PixelFormatTraits& pixelFormatTraits(PixelFormat format) {
    return kPixelFormats[int(format)];
}

// The code as the host passes it: the 32-bit little-endian value of the four
// name bytes in memory order.
inline uint32_t pixelFormatCode(PixelFormat format) {
    const char* n = pixelFormatTraits(format).name;
    return uint32_t(uint8_t(n[0])) | uint32_t(uint8_t(n[1])) << 8 | uint32_t(uint8_t(n[2])) << 16 |
           uint32_t(uint8_t(n[3])) << 24;
}

inline std::optional<PixelFormat> pixelFormatFromName(std::string_view name) {
    for (const PixelFormatTraits& info : kPixelFormats)
        if (name == info.name)
            return info.format;
    return std::nullopt;
}

inline std::optional<PixelFormat> pixelFormatFromCode(uint32_t code) {
    for (const PixelFormatTraits& info : kPixelFormats)
        if (pixelFormatCode(info.format) == code)
            return info.format;
    return std::nullopt;
}

// YUV goes to the plug-in as VUYA without colour conversion: 8-bit streams as
// "vuya", deeper ones as "Vuya".
inline PixelFormat defaultPixelFormat(int bitDepth) {
    return bitDepth > 8 ? PixelFormat::Vuya : PixelFormat::vuya;
}
