// Sarn_ARWarp: fills the missing lines of a deinterlaced frame with colour
// fetched along the motion field from a full-height source, blended with the
// fallback already in the destination by a per-pixel confidence weight.
#pragma once

#include "image/Sarn_CatmullRom.h"
#include "image/Sarn_Pixel.h"
#include "parallel/RowKernelBand.h"
#include "sdk/AE_Effect.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>

// One destination row: everything the row kernels need, resolved once per row.
struct Sarn_ARWarpRow {
    const uint8_t* upper;  // kept line above (F row y, or y + 1 when y does not exist), column 0
    const uint8_t* lower;  // kept line below (F row y + 1, or y when y + 1 does not exist)
    const uint8_t* source; // S element (0, 0)
    int32_t sourceStride;
    Sarn_Rect sourceRect;
    uint8_t* destination; // D row y, column 0
    const uint8_t* dx;    // motion plane rows y, column 0
    const uint8_t* dy;
    int32_t x0, x1, y;
    float lineOffset;
};

// Plain row kernel: reads like the definition.
template <class Pixel, class Order>
void Sarn_ARWarpRow_scalar(const Sarn_ARWarpRow& r) {
    constexpr int colour[3] = {Order::c1, Order::c2, Order::c3};
    const int64_t stride = r.sourceStride;
    const Sarn_Rect& s = r.sourceRect;
    const float y = float(r.y);
    for (int32_t x = r.x0; x < r.x1; ++x) {
        const int64_t column = int64_t(x) * Pixel::bytes;
        uint8_t* d = r.destination + column;
        float dv[4];
        for (int c = 0; c < 4; ++c)
            dv[c] = Pixel::load(d, c);
        const float sx = float(x) + Sarn_LumF::load(r.dx + int64_t(x) * 4, 0);
        const float sy = 2.0f * (y + Sarn_LumF::load(r.dy + int64_t(x) * 4, 0)) + r.lineOffset;

        float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        float w = 1.0f;
        int32_t ix, iy;
        float fx, fy;
        if (Sarn_SplitPosition(sx, ix, fx) && Sarn_SplitPosition(sy, iy, fy) && ix > s.x0 &&
            ix < s.x1 - 2 && iy >= s.y0 + 2 && iy < s.y1 - 3) {
            // Rows iy - 2 .. iy + 3 filtered horizontally once, shared by A, V and B;
            // the outer two are needed in the colour channels only.
            float h[6][4] = {};
            const uint8_t* p = r.source + int64_t(iy - 2) * stride + int64_t(ix - 1) * Pixel::bytes;
            for (int k = 0; k < 6; ++k, p += stride) {
                const auto filter = [&](int c) {
                    h[k][c] = Sarn_CatmullRomNested(Pixel::load(p, c), Pixel::load(p + Pixel::bytes, c),
                                           Pixel::load(p + 2 * Pixel::bytes, c),
                                           Pixel::load(p + 3 * Pixel::bytes, c), fx);
                };
                for (int c : colour)
                    filter(c);
                if (k >= 1 && k <= 4)
                    filter(Order::alpha);
            }
            for (int c = 0; c < 4; ++c)
                v[c] = Sarn_CatmullRomNested(h[1][c], h[2][c], h[3][c], h[4][c], fy);
            const uint8_t* u = r.upper + column;
            const uint8_t* l = r.lower + column;
            float sumUpper = 0.0f, sumLower = 0.0f, sumDeparture = 0.0f;
            for (int c : colour) {
                const float a = Sarn_CatmullRomNested(h[0][c], h[1][c], h[2][c], h[3][c], fy);
                const float b = Sarn_CatmullRomNested(h[2][c], h[3][c], h[4][c], h[5][c], fy);
                sumUpper += Pixel::load(u, c) - a;
                sumLower += Pixel::load(l, c) - b;
                sumDeparture += dv[c] - v[c];
            }
            const float e = std::fabs(sumUpper + sumLower) + 0.001f;
            const float dd = std::fabs(sumDeparture) + 0.001f;
            w = e / dd;
            if (w > 1.0f)
                w = 1.0f;
        }
        for (int c = 0; c < 4; ++c)
            Pixel::store(d, c, (dv[c] - v[c]) * w + v[c]);
    }
}

// Columns x0 .. x1 - 1 by the scalar kernel: the vector kernels finish their
// rows with it. Defined in Sarn_ARWarp.cpp, built without extra
// instruction-set flags: were the vector kernel files to instantiate the
// scalar code themselves, the linker could keep their AVX-512 build of it for
// every caller.
template <class Pixel, class Order>
void Sarn_ARWarpTail(const Sarn_ARWarpRow& r, int32_t x0);

// Defined in Sarn_ARWarp_<tier>.cpp for the three colour pixels and both
// orders; each is bit-identical to the scalar kernel.
template <class Pixel, class Order>
void Sarn_ARWarpRow_sse2(const Sarn_ARWarpRow& r);
template <class Pixel, class Order>
void Sarn_ARWarpRow_avx2(const Sarn_ARWarpRow& r);
template <class Pixel, class Order>
void Sarn_ARWarpRow_avx512(const Sarn_ARWarpRow& r);

// ColourView: Sarn_PixelPtr of a colour pixel; MotionView: the two float
// planes. F, S and D are pointers with byte strides; S, D and the motion
// planes are addressed with absolute rows, F from its rectangle's first row.
template <class Environ, class ColourView, class MotionView, class Order>
class Sarn_ARWarp : public Environ::Thread {
public:
    using Pixel = typename ColourView::Pixel;

    Sarn_ARWarp(PF_InData* inData, const uint8_t* field, const uint8_t* source, uint8_t* destination,
                int32_t fieldStride, int32_t sourceStride, int32_t destinationStride,
                const uint8_t* motion0, const uint8_t* motion1, int32_t motionStride,
                const Sarn_Rect* fieldRect, const Sarn_Rect* sourceRect, const Sarn_Rect* rect,
                float lineOffset)
        : Environ::Thread(inData), field(field), source(source), destination(destination),
          fieldStride(fieldStride), sourceStride(sourceStride), destinationStride(destinationStride),
          motion0(motion0), motion1(motion1), motionStride(motionStride), fieldRect(fieldRect),
          sourceRect(sourceRect), rect(rect), lineOffset(lineOffset) {}

    void run(int index) override {
        Sarn_ARWarpRow row{};
        row.source = source;
        row.sourceStride = sourceStride;
        row.sourceRect = *sourceRect;
        row.x0 = rect->x0;
        row.x1 = rect->x1;
        row.lineOffset = lineOffset;
        runRowKernelBand(rowKernels, index, rect->y0, rect->y1, row, [this](Sarn_ARWarpRow& row, int32_t y) {
            // Destination row y lies between field lines y and y + 1.
            const bool hasUpper = y >= fieldRect->y0 && y < fieldRect->y1;
            const bool hasLower = int64_t(y) + 1 >= fieldRect->y0 && int64_t(y) + 1 < fieldRect->y1;
            // No kept line to judge the prediction by: the fallback stays.
            if (!hasUpper && !hasLower)
                return false;
            const uint8_t* upper = field + (int64_t(y) - fieldRect->y0) * fieldStride;
            row.y = y;
            row.destination = destination + int64_t(y) * destinationStride;
            row.upper = hasUpper ? upper : upper + fieldStride;
            row.lower = hasLower ? upper + fieldStride : upper;
            row.dx = motion0 + int64_t(y) * motionStride;
            row.dy = motion1 + int64_t(y) * motionStride;
            return true;
        });
    }

    const uint8_t* field;
    const uint8_t* source;
    uint8_t* destination;
    int32_t fieldStride, sourceStride, destinationStride;
    const uint8_t* motion0;
    const uint8_t* motion1;
    int32_t motionStride;
    const Sarn_Rect* fieldRect;
    const Sarn_Rect* sourceRect;
    const Sarn_Rect* rect;
    float lineOffset;

private:
    using RowKernel = void (*)(const Sarn_ARWarpRow&);
    static constexpr SimdTiers<RowKernel> rowKernels{
        Sarn_ARWarpRow_scalar<Pixel, Order>, Sarn_ARWarpRow_sse2<Pixel, Order>, Sarn_ARWarpRow_avx2<Pixel, Order>,
        Sarn_ARWarpRow_avx512<Pixel, Order>};
};
