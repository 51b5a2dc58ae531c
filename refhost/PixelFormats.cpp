#include "refhost/PixelFormats.h"

#include "refhost/HostProfile.h"

#include <cstring>

namespace refhost {

namespace {
constexpr PixelFormatInfo argbOrder(PF_PixelFormat code, ChannelDepth depth, int bytes) {
    return {code, depth, bytes, 0, 1, 2, 3, false};
}
// B, G, R, A in memory.
constexpr PixelFormatInfo bgraOrder(PF_PixelFormat code, ChannelDepth depth, int bytes) {
    return {code, depth, bytes, 3, 2, 1, 0, false};
}
// V, U, Y, A in memory: laid out as BGRA.
constexpr PixelFormatInfo vuyaOrder(PF_PixelFormat code, ChannelDepth depth, int bytes) {
    return {code, depth, bytes, 3, 2, 1, 0, true};
}

const std::array<PixelFormatInfo, 11> kFormats = {{
    argbOrder(PF_PixelFormat_ARGB32, ChannelDepth::Bits8, 4),
    bgraOrder(PrPixelFormat_BGRA_4444_8u, ChannelDepth::Bits8, 4),
    vuyaOrder(PrPixelFormat_VUYA_4444_8u, ChannelDepth::Bits8, 4),
    argbOrder(PF_PixelFormat_ARGB64, ChannelDepth::Bits16, 8),
    argbOrder(PrPixelFormat_ARGB_4444_16u, ChannelDepth::Bits16, 8),
    bgraOrder(PrPixelFormat_BGRA_4444_16u, ChannelDepth::Bits16, 8),
    vuyaOrder(PrPixelFormat_VUYA_4444_16u, ChannelDepth::Bits16, 8),
    argbOrder(PF_PixelFormat_ARGB128, ChannelDepth::Float, 16),
    argbOrder(PrPixelFormat_ARGB_4444_32f, ChannelDepth::Float, 16),
    bgraOrder(PrPixelFormat_BGRA_4444_32f, ChannelDepth::Float, 16),
    vuyaOrder(PrPixelFormat_VUYA_4444_32f, ChannelDepth::Float, 16),
}};
} // namespace

const std::array<PixelFormatInfo, 11>& allPixelFormats() { return kFormats; }

const PixelFormatInfo* pixelFormatInfo(PF_PixelFormat code) {
    for (const PixelFormatInfo& info : kFormats)
        if (info.code == code)
            return &info;
    return nullptr;
}

std::array<uint8_t, 16> encodePixel(const PixelFormatInfo& format, const PF_Pixel& colour) {
    std::array<uint8_t, 16> bytes{};
    const uint8_t values[4] = {colour.alpha, colour.red, colour.green, colour.blue};
    const int positions[4] = {format.alphaAt, format.redAt, format.greenAt, format.blueAt};
    for (int c = 0; c < 4; ++c) {
        const unsigned v = values[c];
        switch (format.depth) {
        case ChannelDepth::Bits8:
            bytes[size_t(positions[c])] = uint8_t(v);
            break;
        case ChannelDepth::Bits16: {
            // Nearest 16-bit value on the 0..32768 scale; 255 maps to 32768.
            const uint16_t deep = uint16_t((v * 32768u + 127u) / 255u);
            std::memcpy(&bytes[size_t(positions[c]) * 2], &deep, 2);
            break;
        }
        case ChannelDepth::Float: {
            const float f = float(v) / 255.0f;
            std::memcpy(&bytes[size_t(positions[c]) * 4], &f, 4);
            break;
        }
        }
    }
    return bytes;
}

std::string pixelFormatName(PF_PixelFormat code) { return fourCCText(code); }

} // namespace refhost
