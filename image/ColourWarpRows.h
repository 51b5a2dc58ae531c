// The vector row kernels of the colour warps, written once over a lane policy
// L (one per instruction set, in ColourWarpLanes_<tier>.h) that holds
// L::pixels destination pixels per vector, one pixel per 128-bit lane with its
// four channels in the lane's order. A row is walked in groups of four pixels
// (ColourWarpGroup.h), each group as 4 / L::pixels vectors; every lane
// performs the scalar kernel's operations in the same order (the channel sums
// too, within the lane), so the results are bit-identical. What is left of
// the row after the last whole group goes to the scalar kernel.
//
// Internal linkage, like the policies: each tier file compiles its own copy.
#pragma once

#include "image/ColourWarpGroup.h"
#include "image/Sarn_ARWarp.h"
#include "image/Sarn_DiscardWarp.h"

#include <cstdint>

// Vec is a compiler vector type, so + - * / work lane by lane (each lane
// rounding as the scalar operation; no contraction). L provides, besides
// set1, zero, min, abs and select over Mask:
//   load(p)                  L::pixels consecutive pixels
//   window(at, offset, q)    columns ix - 1 .. ix + 2 of one source row, q[i]
//                            holding column ix - 1 + i of pixel j in lane j,
//                            pixel j's row at at[j] + offset
//   storeGroup(p, v)         the four pixels of a group, v[part]
//   spread(x, v)             element j of x over the lane of pixel j, per part
//   insides(g, m)            the lanes of pixels inside, per part
//   outsideBits(d, lo, hi)   four bits per pixel: channel below lo or above hi
//   colourSum<Order>(x)      0 + x[c1] + x[c2] + x[c3] over each lane
namespace {

template <class L>
typename L::Vec colourWarpCubic(typename L::Vec p0, typename L::Vec p1, typename L::Vec p2, typename L::Vec p3,
                                typename L::Vec t) {
    using Vec = typename L::Vec;
    const Vec two = L::set1(2.0f), three = L::set1(3.0f), four = L::set1(4.0f), five = L::set1(5.0f),
              half = L::set1(0.5f);
    // Sarn_CatmullRomNested, operation for operation.
    Vec inner = two * p0 - five * p1 + four * p2 - p3;
    const Vec cubicTerm = three * (p1 - p2) + p3 - p0;
    inner = (inner + cubicTerm * t) * t;
    const Vec outer = (p2 - p0 + inner) * t;
    return half * (two * p1 + outer);
}

// The neighbourhoods of a group's four pixels and their fractions spread over
// the lanes of each of the group's 4 / L::pixels parts (L::pixels pixels a
// part).
template <class L>
struct ColourWarpTaps {
    using Vec = typename L::Vec;
    static constexpr int parts = 4 / L::pixels;
    static constexpr int64_t partBytes = int64_t(L::pixels) * L::Pixel::bytes;

    const uint8_t* at[4];
    Vec tx[parts], ty[parts];
    int pixels; // the group's pixels inside, one bit each

    template <class Groups>
    ColourWarpTaps(const Groups& groups, const ColourWarpGroup& g) : pixels(g.pixels) {
        groups.neighbourhoods(g, L::Pixel::bytes, at);
        L::spread(g.fractionX, tx);
        L::spread(g.fractionY, ty);
    }

    // visit(part) for every part that holds a pixel inside; a part with none
    // is not computed at all.
    template <class Visit>
    void forPartsInside(Visit visit) const {
        constexpr int partPixels = (1 << L::pixels) - 1;
        for (int part = 0; part < parts; ++part)
            if ((pixels >> (part * L::pixels)) & partPixels)
                visit(part);
    }

    // The first `count` rows of the part's neighbourhoods, `stride` bytes
    // apart, each filtered horizontally.
    template <int count>
    void filterRows(int part, int64_t stride, Vec h[count]) const {
        const uint8_t* const* partAt = at + part * L::pixels;
        for (int k = 0; k < count; ++k) {
            Vec q[4];
            L::window(partAt, k * stride, q);
            h[k] = colourWarpCubic<L>(q[0], q[1], q[2], q[3], tx[part]);
        }
    }
};

// visit(x) for the first column x of every whole group of four of columns
// x0 .. x1 - 1, from the left; returns the first column left for the scalar
// kernel.
template <class Visit>
int32_t forColourWarpGroups(int32_t x0, int32_t x1, Visit visit) {
    const int64_t width = int64_t(x1) - x0;
    if (width <= 0)
        return x1;
    const int32_t groupsEnd = int32_t(x0 + width / 4 * 4);
    for (int32_t x = x0; x < groupsEnd; x += 4)
        visit(x);
    return groupsEnd;
}

// Sarn_ARWarp over the whole groups of the row; returns the first column
// left for the scalar kernel.
template <class L, class Order>
int32_t arWarpGroupRows(const Sarn_ARWarpRow& r) {
    using Vec = typename L::Vec;
    using Taps = ColourWarpTaps<L>;
    const int64_t stride = r.sourceStride;
    const ARWarpGroups groups(r);
    const Vec zero = L::zero(), one = L::set1(1.0f), small = L::set1(0.001f);
    return forColourWarpGroups(r.x0, r.x1, [&](int32_t x) {
        const int64_t column = int64_t(x) * L::Pixel::bytes;
        uint8_t* d = r.destination + column;
        Vec dv[Taps::parts], v[Taps::parts], w[Taps::parts];
        for (int part = 0; part < Taps::parts; ++part) {
            dv[part] = L::load(d + part * Taps::partBytes);
            v[part] = zero;
            w[part] = one;
        }
        const ColourWarpGroup g = groups.at(x);
        if (g.pixels != 0) {
            // The lanes of pixels outside are discarded by the selects.
            const Taps taps(groups, g);
            typename L::Mask inside[Taps::parts];
            L::insides(g, inside);
            taps.forPartsInside([&](int part) {
                // Rows iy - 2 .. iy + 3 filtered horizontally once, shared by A, V and B.
                Vec h[6];
                taps.template filterRows<6>(part, stride, h);
                const Vec sample = colourWarpCubic<L>(h[1], h[2], h[3], h[4], taps.ty[part]);
                const Vec above = colourWarpCubic<L>(h[0], h[1], h[2], h[3], taps.ty[part]);
                const Vec below = colourWarpCubic<L>(h[2], h[3], h[4], h[5], taps.ty[part]);
                const int64_t at0 = column + part * Taps::partBytes;
                const Vec sumUpper = L::template colourSum<Order>(L::load(r.upper + at0) - above);
                const Vec sumLower = L::template colourSum<Order>(L::load(r.lower + at0) - below);
                const Vec sumDeparture = L::template colourSum<Order>(dv[part] - sample);
                const Vec e = L::abs(sumUpper + sumLower) + small;
                const Vec dd = L::abs(sumDeparture) + small;
                // min(1, w) keeps a NaN w, as `if (w > 1) w = 1` does.
                const Vec weight = L::min(one, e / dd);
                v[part] = L::select(inside[part], sample, zero);
                w[part] = L::select(inside[part], weight, one);
            });
        }
        Vec out[Taps::parts];
        for (int part = 0; part < Taps::parts; ++part)
            out[part] = (dv[part] - v[part]) * w[part] + v[part];
        L::storeGroup(d, out);
    });
}

// Sarn_DiscardWarp over the whole groups of the row; returns the first column
// left for the scalar kernel.
template <class L>
int32_t discardWarpGroupRows(const Sarn_DiscardWarpRow& r) {
    using Vec = typename L::Vec;
    using Taps = ColourWarpTaps<L>;
    const int64_t stride = r.sourceStride;
    const DiscardWarpGroups groups(r);
    const Vec upperLimit = L::set1(r.threshold), lowerLimit = L::set1(-r.threshold);
    return forColourWarpGroups(r.rect.x0, r.rect.x1, [&](int32_t x) {
        const ColourWarpGroup g = groups.at(x);
        if (g.pixels == 0)
            return;
        // The lanes of pixels outside are not tested.
        const Taps taps(groups, g);
        const uint8_t* reference = r.reference + int64_t(x) * L::Pixel::bytes;
        int mismatches = 0; // four bits per pixel, one per channel
        taps.forPartsInside([&](int part) {
            Vec h[4];
            taps.template filterRows<4>(part, stride, h);
            const Vec sample = colourWarpCubic<L>(h[0], h[1], h[2], h[3], taps.ty[part]);
            const Vec difference = L::load(reference + part * Taps::partBytes) - sample;
            mismatches |= L::outsideBits(difference, lowerLimit, upperLimit) << (4 * L::pixels * part);
        });
        uint8_t* dxAt = r.dx + int64_t(x) * 4;
        uint8_t* dyAt = r.dy + int64_t(x) * 4;
        for (int j = 0; j < 4; ++j)
            if (((g.pixels >> j) & 1) && ((mismatches >> (4 * j)) & 0xF)) {
                Sarn_LumF::store(dxAt + 4 * j, 0, Sarn_InvalidMotion);
                Sarn_LumF::store(dyAt + 4 * j, 0, Sarn_InvalidMotion);
            }
    });
}

} // namespace

// The instances every tier file defines: Sarn_ARWarp's row kernel for the
// three colour pixels in both orders, Sarn_DiscardWarp's for the three pixels.
#define SARN_AR_WARP_ROW_INSTANCES(kernel)                                                                        \
    template void kernel<Sarn_Pixel8, Sarn_OrderARGB>(const Sarn_ARWarpRow&);                                      \
    template void kernel<Sarn_Pixel16, Sarn_OrderARGB>(const Sarn_ARWarpRow&);                                     \
    template void kernel<Sarn_PixelF, Sarn_OrderARGB>(const Sarn_ARWarpRow&);                                      \
    template void kernel<Sarn_Pixel8, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);                                      \
    template void kernel<Sarn_Pixel16, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);                                     \
    template void kernel<Sarn_PixelF, Sarn_OrderRGBA>(const Sarn_ARWarpRow&);
#define SARN_DISCARD_WARP_ROW_INSTANCES(kernel)                                                                   \
    template void kernel<Sarn_Pixel8>(const Sarn_DiscardWarpRow&);                                                 \
    template void kernel<Sarn_Pixel16>(const Sarn_DiscardWarpRow&);                                                \
    template void kernel<Sarn_PixelF>(const Sarn_DiscardWarpRow&);
