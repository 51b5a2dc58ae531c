// The eleven pixel formats the render accepts: depth and channel order of
// each four-character code.
#pragma once

#include "sdk/AE_EffectSuites.h"

enum class PixelDepth { Bits8, Bits16, Float };
enum class ChannelOrder { AlphaFirst, AlphaLast };

struct PixelFormatInfo {
    bool known;
    PixelDepth depth;
    ChannelOrder order; // ARGB frames alpha first; BGRA and VUYA alpha last
    bool vuya;          // the alpha-last channels hold V, U, Y rather than B, G, R
};

inline int bytesPerPixel(PixelDepth depth) {
    return depth == PixelDepth::Bits8 ? 4 : depth == PixelDepth::Bits16 ? 8 : 16;
}

inline PixelFormatInfo pixelFormatInfo(PF_PixelFormat format) {
    switch (format) {
    case PF_PixelFormat_ARGB32:
        return {true, PixelDepth::Bits8, ChannelOrder::AlphaFirst, false};
    case PrPixelFormat_BGRA_4444_8u:
        return {true, PixelDepth::Bits8, ChannelOrder::AlphaLast, false};
    case PrPixelFormat_VUYA_4444_8u:
        return {true, PixelDepth::Bits8, ChannelOrder::AlphaLast, true};
    case PF_PixelFormat_ARGB64:
    case PrPixelFormat_ARGB_4444_16u:
        return {true, PixelDepth::Bits16, ChannelOrder::AlphaFirst, false};
    case PrPixelFormat_BGRA_4444_16u:
        return {true, PixelDepth::Bits16, ChannelOrder::AlphaLast, false};
    case PrPixelFormat_VUYA_4444_16u:
        return {true, PixelDepth::Bits16, ChannelOrder::AlphaLast, true};
    case PF_PixelFormat_ARGB128:
    case PrPixelFormat_ARGB_4444_32f:
        return {true, PixelDepth::Float, ChannelOrder::AlphaFirst, false};
    case PrPixelFormat_BGRA_4444_32f:
        return {true, PixelDepth::Float, ChannelOrder::AlphaLast, false};
    case PrPixelFormat_VUYA_4444_32f:
        return {true, PixelDepth::Float, ChannelOrder::AlphaLast, true};
    default:
        return {false, PixelDepth::Bits8, ChannelOrder::AlphaFirst, false};
    }
}
