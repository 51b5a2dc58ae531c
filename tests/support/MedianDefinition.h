// The field median as it is defined, written as a brute-force check rather
// than as the comparison network: rank the six kept neighbours by brightness,
// average the third and fourth, and take the brightness median of that
// average and the pixels directly above and below. Where equal brightness
// leaves open which pixels are third and fourth, every such choice is
// admitted; the median of three follows its own tie rule exactly.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

namespace mediandef {

template <class T>
struct Pixel {
    T c[4];
    bool operator==(const Pixel& o) const { return std::memcmp(c, o.c, sizeof c) == 0; }
};

// The sum of the three channels other than alpha; float adds the first two
// of them, then the third.
template <class T>
auto brightness(const Pixel<T>& p, int alphaAt) {
    T colour[3]{};
    for (int i = 0, n = 0; i < 4 && n < 3; ++i)
        if (i != alphaAt)
            colour[n++] = p.c[i];
    if constexpr (std::is_floating_point_v<T>) {
        const float two = colour[0] + colour[1];
        return two + colour[2];
    } else {
        return int32_t(colour[0]) + int32_t(colour[1]) + int32_t(colour[2]);
    }
}

// Every channel, alpha included: integers round down, floats halve the sum.
template <class T>
Pixel<T> average(const Pixel<T>& p, const Pixel<T>& q) {
    Pixel<T> r;
    for (int i = 0; i < 4; ++i) {
        if constexpr (std::is_floating_point_v<T>)
            r.c[i] = (p.c[i] + q.c[i]) * 0.5f;
        else
            r.c[i] = T((int32_t(p.c[i]) + int32_t(q.c[i])) / 2);
    }
    return r;
}

// a held between the darker and the brighter vertical neighbour (below counts
// as the darker when both are equally bright); a itself only strictly above
// the darker bound.
template <class T>
Pixel<T> medianOfThree(const Pixel<T>& a, const Pixel<T>& above, const Pixel<T>& below,
                       int alphaAt) {
    const bool aboveDarker = brightness(above, alphaAt) < brightness(below, alphaAt);
    const Pixel<T>& dark = aboveDarker ? above : below;
    const Pixel<T>& bright = aboveDarker ? below : above;
    const auto v = brightness(a, alphaAt);
    if (!(brightness(dark, alphaAt) < v))
        return dark;
    return v > brightness(bright, alphaAt) ? bright : a;
}

// Whether `got` is the definition's result for six neighbours (above row
// left to right, then the row below) under some choice among equal ranks.
template <class T>
bool admissible(const std::array<Pixel<T>, 6>& six, const Pixel<T>& got, int alphaAt) {
    std::array<decltype(brightness(six[0], alphaAt)), 6> ranked;
    for (size_t i = 0; i < 6; ++i)
        ranked[i] = brightness(six[i], alphaAt);
    std::sort(ranked.begin(), ranked.end());
    for (size_t i = 0; i < 6; ++i)
        for (size_t j = 0; j < 6; ++j)
            if (i != j && brightness(six[i], alphaAt) == ranked[2] &&
                brightness(six[j], alphaAt) == ranked[3] &&
                medianOfThree(average(six[i], six[j]), six[1], six[4], alphaAt) == got)
                return true;
    return false;
}

// The definition's result where equal brightness means equal pixels (so the
// choice among equal ranks does not matter).
template <class T>
Pixel<T> defined(std::array<Pixel<T>, 6> six, int alphaAt) {
    const Pixel<T> above = six[1], below = six[4];
    std::sort(six.begin(), six.end(), [&](const Pixel<T>& a, const Pixel<T>& b) {
        return brightness(a, alphaAt) < brightness(b, alphaAt);
    });
    return medianOfThree(average(six[2], six[3]), above, below, alphaAt);
}

} // namespace mediandef
