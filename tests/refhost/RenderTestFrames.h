// Helpers for the render tests: test pictures in any of the host's pixel
// formats, renders after "Off" checked against the field median's definition,
// and frame comparisons that name the first difference.
#pragma once

#include "refhost/Clip.h"
#include "refhost/PixelFormats.h"
#include "refhost/RenderDriver.h"
#include "tests/support/MedianDefinition.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
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
            std::memcpy(bytes.data() + i * sizeof(T), &v, sizeof v);
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

// Whether `got`, the rectangle `part` of a frame after "Off", agrees with the
// field median's definition over the input frame `in`: kept rows unchanged;
// every other row from the kept rows next to it (the nearest kept row stands
// in for a missing one at the top or bottom), columns clamped at the sides.
// keptField 1 keeps the even rows, 2 the odd rows. No part: the whole frame.
inline ::testing::AssertionResult offAgrees(const PixelFormatInfo& info, A_long width,
                                            A_long height, const std::vector<uint8_t>& in,
                                            int keptField, const std::vector<uint8_t>& got,
                                            std::optional<PF_LRect> wanted = std::nullopt) {
    const PF_LRect part = wanted.value_or(PF_LRect{0, 0, width, height});
    const size_t bpp = size_t(info.bytesPerPixel);
    const A_long partW = part.right - part.left;
    if (got.size() != size_t(partW) * size_t(part.bottom - part.top) * bpp)
        return ::testing::AssertionFailure() << "size " << got.size();
    const int kept = keptField == 2 ? 1 : 0;
    const A_long lastKept = (height - 1 - kept) / 2 * 2 + kept;
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    withChannelType(info.depth, [&](auto zero) {
        using Px = mediandef::Pixel<decltype(zero)>;
        auto at = [&](const std::vector<uint8_t>& bytes, A_long rowWidth, A_long x, A_long y) {
            Px p;
            std::memcpy(&p, bytes.data() + (size_t(y) * size_t(rowWidth) + size_t(x)) * bpp, bpp);
            return p;
        };
        for (A_long y = part.top; y < part.bottom && result; ++y)
            for (A_long x = part.left; x < part.right && result; ++x) {
                const Px out = at(got, partW, x - part.left, y - part.top);
                bool ok;
                if ((y & 1) == kept || height <= kept) {
                    ok = out == at(in, width, x, y);
                } else {
                    const A_long up = y - 1 < 0 ? kept : y - 1, down = std::min(y + 1, lastKept);
                    std::array<Px, 6> six;
                    for (int i = 0; i < 3; ++i) {
                        const A_long c = std::clamp<A_long>(x - 1 + i, 0, width - 1);
                        six[size_t(i)] = at(in, width, c, up);
                        six[size_t(i) + 3] = at(in, width, c, down);
                    }
                    ok = mediandef::admissible(six, out, info.alphaAt);
                }
                if (!ok)
                    result = ::testing::AssertionFailure() << "pixel (" << x << ", " << y
                                                           << ") is not the field median";
            }
    });
    return result;
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

// A host of the loaded plug-in with its render driver.
struct DrivenHost {
    explicit DrivenHost(HostProfile profile = HostProfile::afterEffects())
        : host(profile, loadedPlugin().entry()), driver(host) {}
    RefHost host;
    RenderDriver driver;
};

// "Motion Compensation" 1 is "Off"; "Fields" 1 keeps the upper field.
inline RenderParams withMotion(A_long motion, A_long fields = 1) {
    RenderParams p;
    p.motion = motion;
    p.fields = fields;
    return p;
}

inline std::string protocolName(Protocol p) { return p == Protocol::Smart ? "smart" : "legacy"; }

inline std::string rectText(const PF_LRect& r) {
    return std::string("{") + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) +
           ", " + std::to_string(r.bottom) + "}";
}

} // namespace rendertest
