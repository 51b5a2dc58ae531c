// Pixel types, channel orders, image views and the processing rectangle of the
// image and motion library, with the rules for storing computed values.
#pragma once

#include <cstdint>
#include <cstring>

// An unsigned integer channel of type T whose full scale is Max (255 for
// 8-bit; 32768 for 16-bit, so the top bit is used only by 32768 itself).
template <class T, int Max>
struct Sarn_Int {
    using Type = T;
    static constexpr int fullScale = Max;
};

// Integer store rule used everywhere: 0 at or below 0, full scale at or above
// it, otherwise round half up (integer part of v + 0.5).
template <class T, int Max>
inline T Sarn_StoreInt(float v) {
    if (v <= 0.0f)
        return T(0);
    if (v >= float(Max))
        return T(Max);
    return T(int32_t(v + 0.5f));
}

// Channel type, channel count, an unused 0, element size in bytes. Channel c
// lies at byte c * sizeof(channel); bytes past the channels belong to others.
template <class Channel, int Channels, int Unused, int Bytes>
struct Sarn_Pixel {
    using Type = typename Channel::Type;
    static constexpr int channels = Channels;
    static constexpr int bytes = Bytes;
    static constexpr bool isFloat = false;
    static constexpr float fullScale = float(Channel::fullScale);

    static float load(const uint8_t* element, int c) {
        Type v;
        std::memcpy(&v, element + c * sizeof(Type), sizeof(Type));
        return float(v);
    }
    static void store(uint8_t* element, int c, float value) {
        const Type v = Sarn_StoreInt<Type, Channel::fullScale>(value);
        std::memcpy(element + c * sizeof(Type), &v, sizeof(Type));
    }
};

template <int Channels, int Unused, int Bytes>
struct Sarn_FloatPixel {
    using Type = float;
    static constexpr int channels = Channels;
    static constexpr int bytes = Bytes;
    static constexpr bool isFloat = true;

    static float load(const uint8_t* element, int c) {
        float v;
        std::memcpy(&v, element + c * sizeof(float), sizeof(float));
        return v;
    }
    // Floats are stored as computed, unclamped.
    static void store(uint8_t* element, int c, float value) {
        std::memcpy(element + c * sizeof(float), &value, sizeof(float));
    }
};

using Sarn_Pixel8 = Sarn_Pixel<Sarn_Int<unsigned char, 255>, 4, 0, 4>;
using Sarn_Pixel16 = Sarn_Pixel<Sarn_Int<unsigned short, 32768>, 4, 0, 8>;
using Sarn_PixelF = Sarn_FloatPixel<4, 0, 16>;
using Sarn_Lum8 = Sarn_Pixel<Sarn_Int<unsigned char, 255>, 1, 0, 1>;
using Sarn_Lum16 = Sarn_Pixel<Sarn_Int<unsigned short, 32768>, 1, 0, 2>;
using Sarn_LumF = Sarn_FloatPixel<1, 0, 4>;
using Sarn_MotionUV = Sarn_FloatPixel<2, 0, 36>;  // u, v of a solver element
using Sarn_MotionOne = Sarn_FloatPixel<1, 0, 36>; // one float of a solver element

// Channel positions of the three colour channels and alpha.
struct Sarn_OrderARGB {
    static constexpr int alpha = 0, c1 = 1, c2 = 2, c3 = 3;
};
struct Sarn_OrderRGBA {
    static constexpr int alpha = 3, c1 = 0, c2 = 1, c3 = 2;
};

// A view: pointer to element (0, 0) and a row stride in bytes. Views carry no
// size; the operation's rectangle bounds every access. Offsets are formed in
// 64 bits so that large frames cannot wrap.
template <class P>
struct Sarn_PixelPtr {
    using Pixel = P;
    uint8_t* data = nullptr;
    int32_t stride = 0;

    uint8_t* element(int32_t x, int32_t y) const {
        return data + int64_t(y) * stride + int64_t(x) * P::bytes;
    }
    uint8_t* row(int32_t y) const { return data + int64_t(y) * stride; }
    float get(int32_t x, int32_t y, int c = 0) const { return P::load(element(x, y), c); }
    void set(int32_t x, int32_t y, int c, float v) const { P::store(element(x, y), c, v); }
};

// Several planes of the same pixel type and geometry sharing one stride; the
// motion vector field is two float planes (horizontal, vertical).
template <class P, int Planes>
struct Sarn_PixelPtrSep {
    using Pixel = P;
    uint8_t* plane[Planes] = {};
    int32_t stride = 0;

    uint8_t* element(int p, int32_t x, int32_t y) const {
        return plane[p] + int64_t(y) * stride + int64_t(x) * P::bytes;
    }
    float get(int p, int32_t x, int32_t y) const { return P::load(element(p, x, y), 0); }
    void set(int p, int32_t x, int32_t y, float v) const { P::store(element(p, x, y), 0, v); }
};

using Sarn_MotionPlanes = Sarn_PixelPtrSep<Sarn_LumF, 2>;

// Columns x0 .. x1 - 1 and rows y0 .. y1 - 1: the library jobs' processing
// rectangle, in their {x0, x1, y0, y1} order (ViewRect is the pipeline's).
struct Sarn_Rect {
    int32_t x0, x1, y0, y1;
};
