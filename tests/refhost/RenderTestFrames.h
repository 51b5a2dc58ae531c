// Helpers for the render tests: test pictures in any of the host's pixel
// formats, a plain whole-frame computation of the field median filter to
// compare renders with, and frame comparisons that name the first difference.
#pragma once

#include "refhost/Clip.h"
#include "refhost/PixelFormats.h"
#include "refhost/RenderDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

using namespace refhost;

namespace rendertest {

// Calls f with a value of the channel type of `depth`.
template <class F>
void withChannelType(ChannelDepth depth, F&& f) {
    switch (depth) {
    case ChannelDepth::Bits8: return f(uint8_t{});
    case ChannelDepth::Bits16: return f(uint16_t{});
    case ChannelDepth::Float: return f(float{});
    }
}

template <class T>
T channelAt(const std::vector<uint8_t>& bytes, size_t offset) {
    T v;
    std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}

template <class T>
void setChannelAt(std::vector<uint8_t>& bytes, size_t offset, T v) {
    std::memcpy(bytes.data() + offset, &v, sizeof v);
}

// A random picture. Half of the channel values come from a short list per
// depth (so that brightness ties are frequent), the rest anywhere in range;
// float values reach a little outside 0..1.
inline std::vector<uint8_t> randomPicture(const PixelFormatInfo& info, A_long width,
                                          A_long height, uint32_t seed) {
    std::vector<uint8_t> bytes(size_t(width) * size_t(height) * size_t(info.bytesPerPixel));
    std::mt19937 rng(seed);
    withChannelType(info.depth, [&](auto zero) {
        using T = decltype(zero);
        const size_t channels = bytes.size() / sizeof(T);
        for (size_t i = 0; i < channels; ++i) {
            const bool fromList = (rng() & 1) != 0;
            T v{};
            if constexpr (std::is_same_v<T, uint8_t>) {
                static constexpr uint8_t list[] = {0, 10, 13, 100, 200, 255};
                v = fromList ? list[rng() % 6] : T(rng() % 256);
            } else if constexpr (std::is_same_v<T, uint16_t>) {
                static constexpr uint16_t list[] = {0, 100, 201, 32767, 32768};
                v = fromList ? list[rng() % 5] : T(rng() % 32769);
            } else {
                static constexpr float list[] = {0.0f, 0.1f, 0.2f, 0.5f, 1.0f, -0.5f, 1.5f};
                v = fromList ? list[rng() % 7]
                             : std::uniform_real_distribution<float>(-0.25f, 1.25f)(rng);
            }
            setChannelAt(bytes, i * sizeof(T), v);
        }
    });
    return bytes;
}

inline Clip clipOf(PF_PixelFormat format, A_long width, A_long height, int frames,
                   uint32_t seed) {
    Clip clip(format, width, height);
    for (int f = 0; f < frames; ++f)
        clip.addFrame(randomPicture(clip.formatInfo(), width, height, seed + uint32_t(f)));
    return clip;
}

// The field median filter written from its definition, over whole frames.
template <class T>
class PlainFieldMedian {
public:
    using Bright = std::conditional_t<std::is_floating_point_v<T>, float, int32_t>;
    struct Px {
        T c[4];
    };

    explicit PlainFieldMedian(int alphaAt) {
        int n = 0;
        for (int c = 0; c < 4; ++c)
            if (c != alphaAt)
                colour_[size_t(n++)] = c;
    }

    Bright b(const Px& p) const {
        if constexpr (std::is_floating_point_v<T>) {
            const float first = p.c[colour_[0]] + p.c[colour_[1]];
            return first + p.c[colour_[2]];
        } else {
            return int32_t(p.c[colour_[0]]) + int32_t(p.c[colour_[1]]) + int32_t(p.c[colour_[2]]);
        }
    }

    // The darker of a pair first; equal brightness keeps the given order.
    void order(const Px& p, const Px& q, Px& low, Px& high) const {
        if (b(q) < b(p)) {
            low = q;
            high = p;
        } else {
            low = p;
            high = q;
        }
    }

    Px middlePairAverage(const Px& p1, const Px& p2, const Px& p3, const Px& p4, const Px& p5,
                         const Px& p6) const {
        Px l1, h1, l2, h2, l3, h3;
        order(p1, p2, l1, h1);
        order(p3, p4, l2, h2);
        order(p5, p6, l3, h3);
        const Px m = b(l2) < b(l1) ? l2 : l1;
        const Px n = b(l2) < b(l1) ? l1 : l2;
        const Px s = b(m) <= b(l3) ? l3 : m;
        const Px bigM = b(h3) < b(h1) ? h1 : h3;
        const Px bigN = b(h3) < b(h1) ? h3 : h1;
        const Px t = b(h2) <= b(bigM) ? h2 : bigM;
        Px xl, xh, yl, yh;
        order(bigN, n, xl, xh);
        order(t, s, yl, yh);
        const Px p = b(xl) <= b(yl) ? yl : xl;
        const Px q = b(yh) <= b(xh) ? yh : xh;
        Px avg;
        for (int c = 0; c < 4; ++c) {
            if constexpr (std::is_floating_point_v<T>)
                avg.c[c] = (p.c[c] + q.c[c]) * 0.5f;
            else
                avg.c[c] = T((int32_t(p.c[c]) + int32_t(q.c[c])) >> 1);
        }
        return avg;
    }

    Px medianOfThree(const Px& a, const Px& above, const Px& below) const {
        if (b(above) < b(below)) {
            if (b(a) <= b(above))
                return above;
            return b(a) <= b(below) ? a : below;
        }
        if (b(a) <= b(below))
            return below;
        return b(a) <= b(above) ? a : above;
    }

private:
    std::array<int, 3> colour_{};
};

// The whole frame after "Off": kept rows as they are; every row of the other
// parity from the kept rows next to it (the nearest kept row stands in for a
// missing one at the top or bottom), columns clamped at the frame's sides.
// keptField 1 keeps the even rows, 2 the odd rows.
inline std::vector<uint8_t> plainOff(const PixelFormatInfo& info, A_long width, A_long height,
                                     const std::vector<uint8_t>& in, int keptField) {
    std::vector<uint8_t> out = in;
    const int kept = keptField == 2 ? 1 : 0;
    if (height <= kept || width <= 0)
        return out; // no kept row at all
    const A_long lastKept = (height - 1 - kept) / 2 * 2 + kept;
    withChannelType(info.depth, [&](auto zero) {
        using T = decltype(zero);
        using K = PlainFieldMedian<T>;
        const K kernel(info.alphaAt);
        const size_t bpp = size_t(info.bytesPerPixel);
        auto at = [&](A_long x, A_long y) {
            x = std::clamp<A_long>(x, 0, width - 1);
            typename K::Px p;
            std::memcpy(&p, in.data() + (size_t(y) * size_t(width) + size_t(x)) * bpp, bpp);
            return p;
        };
        for (A_long y = 1 - kept; y < height; y += 2) {
            const A_long above = y - 1 < 0 ? kept : y - 1;
            const A_long below = y + 1 > lastKept ? lastKept : y + 1;
            for (A_long x = 0; x < width; ++x) {
                const auto u = at(x, above), d = at(x, below);
                const auto a = kernel.middlePairAverage(at(x - 1, above), u, at(x + 1, above),
                                                        at(x - 1, below), d, at(x + 1, below));
                const auto r = kernel.medianOfThree(a, u, d);
                std::memcpy(out.data() + (size_t(y) * size_t(width) + size_t(x)) * bpp, &r, bpp);
            }
        }
    });
    return out;
}

// Rows top..bottom-1 and columns left..right-1 of a packed frame.
inline std::vector<uint8_t> cropPacked(const std::vector<uint8_t>& bytes, A_long width, int bpp,
                                       const PF_LRect& r) {
    std::vector<uint8_t> out;
    for (A_long y = r.top; y < r.bottom; ++y) {
        const uint8_t* row = bytes.data() + (size_t(y) * size_t(width) + size_t(r.left)) * size_t(bpp);
        out.insert(out.end(), row, row + size_t(r.right - r.left) * size_t(bpp));
    }
    return out;
}

// Equal bytes, or the first differing pixel.
inline ::testing::AssertionResult samePixels(const std::vector<uint8_t>& got,
                                             const std::vector<uint8_t>& want, A_long width,
                                             int bpp) {
    if (got.size() != want.size())
        return ::testing::AssertionFailure()
               << "sizes differ: " << got.size() << " and " << want.size() << " bytes";
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i]) {
            const size_t pixel = i / size_t(bpp);
            return ::testing::AssertionFailure()
                   << "first difference at pixel (" << pixel % size_t(width) << ", "
                   << pixel / size_t(width) << "), byte " << i % size_t(bpp) << ": "
                   << int(got[i]) << " instead of " << int(want[i]);
        }
    return ::testing::AssertionSuccess();
}

inline std::string protocolName(Protocol p) { return p == Protocol::Smart ? "smart" : "legacy"; }

} // namespace rendertest
