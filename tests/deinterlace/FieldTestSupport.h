// Frames and host records for the deinterlace tests, and the field median's
// definition (tests/support/MedianDefinition.h) at a frame's pixel.
#pragma once

#include "parallel/AEHost.h"
#include "image/Sarn_Pixel.h"
#include "tests/support/MedianDefinition.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace fieldtest {

// A host with no generic iteration (API major 11, no utils, no basic suite),
// so that runs go to the fallback runner's real threads.
struct TestHost {
    PF_InData inData{};
    PF_SmartRenderCallbacks smartCallbacks{};
    std::unique_ptr<AEHost> host;

    TestHost(PF_EffectWorld* output, bool smart, int32_t originX = 0, int32_t originY = 0) {
        inData.version.major = 11;
        inData.appl_id = kApplIdAfterEffects;
        inData.output_origin_x = originX;
        inData.output_origin_y = originY;
        host = std::make_unique<AEHost>(&inData, output, smart ? &smartCallbacks : nullptr);
    }
};

template <class T>
using Px = std::array<T, 4>;

template <class T>
mediandef::Pixel<T> toPixel(const Px<T>& p) {
    mediandef::Pixel<T> q;
    std::memcpy(q.c, p.data(), sizeof q.c);
    return q;
}

// A frame of 4-channel pixels of channel type T, rows `stride` bytes apart,
// filled with 0xA5 bytes (and one guard byte after the last row).
template <class T>
struct Frame {
    int32_t width, height, stride;
    std::vector<uint8_t> bytes;
    PF_EffectWorld world{};

    Frame(int32_t w, int32_t h, int32_t extraBytes = 0)
        : width(w), height(h), stride(int32_t(w * 4 * sizeof(T)) + extraBytes),
          bytes(size_t(stride) * size_t(std::max(h, 1)) + 1, 0xA5) {
        world.data = reinterpret_cast<PF_PixelPtr>(bytes.data());
        world.rowbytes = stride;
        world.width = w;
        world.height = h;
        world.extent_hint = PF_Rect{0, 0, w, h};
    }
    Px<T> get(int32_t x, int32_t y) const {
        Px<T> p;
        std::memcpy(p.data(), bytes.data() + size_t(y) * stride + size_t(x) * sizeof p, sizeof p);
        return p;
    }
    void set(int32_t x, int32_t y, const Px<T>& p) {
        std::memcpy(bytes.data() + size_t(y) * stride + size_t(x) * sizeof p, p.data(), sizeof p);
    }
};

// Fills the frame from a palette of five random pixels of distinct
// brightness: pixels of equal brightness are then equal, which the brute
// force below needs (which of several differently coloured pixels of one
// brightness the network takes is pinned by the worked examples instead).
template <class T, class Order>
void fillFromPalette(Frame<T>& frame, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Px<T>> palette;
    while (palette.size() < 5) {
        Px<T> p;
        for (T& c : p)
            if constexpr (std::is_same_v<T, float>)
                c = float(int(random() % 41) - 10) * 0.0625f;
            else
                c = T(random() % (sizeof(T) == 1 ? 256 : 32769));
        if (std::none_of(palette.begin(), palette.end(), [&](const Px<T>& q) {
                return mediandef::brightness(toPixel(q), Order::alpha) ==
                       mediandef::brightness(toPixel(p), Order::alpha);
            }))
            palette.push_back(p);
    }
    for (int32_t y = 0; y < frame.height; ++y)
        for (int32_t x = 0; x < frame.width; ++x)
            frame.set(x, y, palette[random() % palette.size()]);
}

// The rebuilt pixel at frame (x, y) by the field median's definition, from
// the six kept neighbours; kept rows and columns outside the frame repeat
// the nearest one.
template <class T, class Order>
Px<T> definedPixel(const Frame<T>& in, int keptParity, int32_t x, int32_t y) {
    const int32_t lastKept = (in.height - 1 - keptParity) / 2 * 2 + keptParity;
    std::array<mediandef::Pixel<T>, 6> six;
    for (int i = 0; i < 6; ++i)
        six[size_t(i)] = toPixel(in.get(std::clamp(x - 1 + i % 3, 0, in.width - 1),
                                         std::clamp(y + (i < 3 ? -1 : 1), keptParity, lastKept)));
    const mediandef::Pixel<T> got = mediandef::defined(six, Order::alpha);
    Px<T> p;
    std::memcpy(p.data(), got.c, sizeof got.c);
    return p;
}

} // namespace fieldtest
