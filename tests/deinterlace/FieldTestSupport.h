// Frames and host records for the deinterlace tests, and the field median's
// definition worked by brute force, to check the comparison network against.
#pragma once

#include "parallel/AEHost.h"
#include "image/Sarn_Pixel.h"

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

template <class T, class Order>
auto brightness(const Px<T>& p) {
    if constexpr (std::is_same_v<T, float>) {
        float sum = p[Order::c1];
        sum = sum + p[Order::c2];
        return sum + p[Order::c3];
    } else {
        return int32_t(p[Order::c1]) + int32_t(p[Order::c2]) + int32_t(p[Order::c3]);
    }
}

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
                return brightness<T, Order>(q) == brightness<T, Order>(p);
            }))
            palette.push_back(p);
    }
    for (int32_t y = 0; y < frame.height; ++y)
        for (int32_t x = 0; x < frame.width; ++x)
            frame.set(x, y, palette[random() % palette.size()]);
}

// The rebuilt pixel at frame (x, y) by its definition: sort the six kept
// neighbours by brightness, average the third and fourth channel-wise
// (integers halved rounding down, floats times one half), then clamp that
// average by brightness between the darker and the brighter of the pixels
// above and below (above counts as the brighter when they tie); a tie with
// the darker gives the neighbour, a tie with the brighter the average.
// Kept rows and columns outside the frame repeat the nearest one.
template <class T, class Order>
Px<T> definedPixel(const Frame<T>& in, int keptParity, int32_t x, int32_t y) {
    const int32_t firstKept = keptParity, lastKept = (in.height - 1 - keptParity) / 2 * 2 + keptParity;
    auto kept = [&](int32_t c, int32_t r) {
        return in.get(std::clamp(c, 0, in.width - 1), std::clamp(r, firstKept, lastKept));
    };
    std::array<Px<T>, 6> six;
    for (int i = 0; i < 3; ++i) {
        six[size_t(i)] = kept(x - 1 + i, y - 1);
        six[size_t(i + 3)] = kept(x - 1 + i, y + 1);
    }
    const Px<T> above = six[1], below = six[4];
    std::sort(six.begin(), six.end(), [](const Px<T>& a, const Px<T>& b) {
        return brightness<T, Order>(a) < brightness<T, Order>(b);
    });
    Px<T> average;
    for (int c = 0; c < 4; ++c)
        if constexpr (std::is_same_v<T, float>)
            average[size_t(c)] = (six[2][size_t(c)] + six[3][size_t(c)]) * 0.5f;
        else
            average[size_t(c)] = T((uint32_t(six[2][size_t(c)]) + six[3][size_t(c)]) >> 1);
    const bool aboveDarker = brightness<T, Order>(above) < brightness<T, Order>(below);
    const Px<T>& darker = aboveDarker ? above : below;
    const Px<T>& brighter = aboveDarker ? below : above;
    const auto level = brightness<T, Order>(average);
    if (level <= brightness<T, Order>(darker))
        return darker;
    return level <= brightness<T, Order>(brighter) ? average : brighter;
}

} // namespace fieldtest
