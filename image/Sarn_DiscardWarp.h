// Sarn_DiscardWarp: checks every motion vector against two colour frames and
// marks the vectors whose target colour does not match as invalid.
#pragma once

#include "image/Sarn_CatmullRom.h"
#include "image/Sarn_Pixel.h"
#include "parallel/RowKernelBand.h"
#include "sdk/AE_Effect.h"

#include <cstdint>

// Marks an invalid vector in both planes (float bits 0xC9742400). Nothing
// compares against it: it points far outside every image, so the colour warp's
// bounds test fails for it.
inline constexpr float Sarn_InvalidMotion = -1000000.0f;

// One row of the vector field, resolved once per row.
struct Sarn_DiscardWarpRow {
    const uint8_t* source;    // S element (0, 0)
    int32_t sourceStride;
    const uint8_t* reference; // R row y, column 0
    uint8_t* dx;              // motion plane rows y, column 0
    uint8_t* dy;
    Sarn_Rect rect;
    int32_t y;
    float scaleX, scaleY, offsetX, offsetY, threshold;
};

// The cell and fraction the vector of column x points at; false where its
// neighbourhood would leave the rectangle, which leaves the vector untested.
inline bool Sarn_DiscardWarpCell(const Sarn_DiscardWarpRow& r, int32_t x, int32_t& ix, int32_t& iy, float& fx,
                                 float& fy) {
    const Sarn_Rect& b = r.rect;
    const float sx = float(x) + r.offsetX + Sarn_LumF::load(r.dx + int64_t(x) * 4, 0) * r.scaleX;
    const float sy = Sarn_LumF::load(r.dy + int64_t(x) * 4, 0) * r.scaleY + float(r.y) + r.offsetY;
    return Sarn_SplitPosition(sx, ix, fx) && Sarn_SplitPosition(sy, iy, fy) && ix > b.x0 && ix < b.x1 - 2 &&
           iy > b.y0 && iy < b.y1 - 2;
}

// The vector of column x of the row.
template <class Pixel>
void Sarn_DiscardWarpPixelScalar(const Sarn_DiscardWarpRow& r, int32_t x) {
    const int64_t stride = r.sourceStride;
    uint8_t* dxAt = r.dx + int64_t(x) * 4;
    uint8_t* dyAt = r.dy + int64_t(x) * 4;
    int32_t ix, iy;
    float fx, fy;
    if (!Sarn_DiscardWarpCell(r, x, ix, iy, fx, fy))
        return;
    const uint8_t* p = r.source + int64_t(iy - 1) * stride + int64_t(ix - 1) * Pixel::bytes;
    const uint8_t* ref = r.reference + int64_t(x) * Pixel::bytes;
    bool mismatch = false;
    for (int c = 0; c < 4; ++c) {
        float h[4];
        const uint8_t* q = p;
        for (int k = 0; k < 4; ++k, q += stride)
            h[k] = Sarn_CatmullRomNested(Pixel::load(q, c), Pixel::load(q + Pixel::bytes, c),
                                Pixel::load(q + 2 * Pixel::bytes, c), Pixel::load(q + 3 * Pixel::bytes, c),
                                fx);
        const float difference = Pixel::load(ref, c) - Sarn_CatmullRomNested(h[0], h[1], h[2], h[3], fy);
        if (difference < -r.threshold || difference > r.threshold)
            mismatch = true;
    }
    if (mismatch) {
        Sarn_LumF::store(dxAt, 0, Sarn_InvalidMotion);
        Sarn_LumF::store(dyAt, 0, Sarn_InvalidMotion);
    }
}

template <class Pixel>
void Sarn_DiscardWarpRow_scalar(const Sarn_DiscardWarpRow& r) {
    for (int32_t x = r.rect.x0; x < r.rect.x1; ++x)
        Sarn_DiscardWarpPixelScalar<Pixel>(r, x);
}

// Columns x0 .. rect.x1 - 1 by the scalar kernel: the vector kernels finish
// their rows with it. Defined in Sarn_DiscardWarp.cpp, built without extra
// instruction-set flags: were the vector kernel files to instantiate the
// inline scalar code themselves, the linker could keep their AVX-512 build of
// it for every caller.
template <class Pixel>
void Sarn_DiscardWarpTail(const Sarn_DiscardWarpRow& r, int32_t x0);

// Defined in Sarn_DiscardWarp_<tier>.cpp for the three colour pixels; each is
// bit-identical to the scalar kernel.
template <class Pixel>
void Sarn_DiscardWarpRow_sse2(const Sarn_DiscardWarpRow& r);
template <class Pixel>
void Sarn_DiscardWarpRow_avx2(const Sarn_DiscardWarpRow& r);
template <class Pixel>
void Sarn_DiscardWarpRow_avx512(const Sarn_DiscardWarpRow& r);

// ColourView: Sarn_PixelPtr of a colour pixel; MotionView: the two float
// planes. Every image is addressed with absolute rows and columns. Source and
// reference are plain roles: either frame of a pair may take either one.
template <class Environ, class ColourView, class MotionView>
class Sarn_DiscardWarp : public Environ::Thread {
public:
    using Pixel = typename ColourView::Pixel;

    Sarn_DiscardWarp(PF_InData* inData, const uint8_t* source, const uint8_t* reference,
                     int32_t sourceStride, int32_t referenceStride, uint8_t* motion0, uint8_t* motion1,
                     int32_t motionStride, const Sarn_Rect* rect, float scaleX, float scaleY,
                     float offsetX, float offsetY, float threshold)
        : Environ::Thread(inData), source(source), reference(reference), sourceStride(sourceStride),
          referenceStride(referenceStride), motion0(motion0), motion1(motion1),
          motionStride(motionStride), rect(rect), scaleX(scaleX), scaleY(scaleY), offsetX(offsetX),
          offsetY(offsetY), threshold(threshold) {}

    void run(int index) override {
        Sarn_DiscardWarpRow row{};
        row.source = source;
        row.sourceStride = sourceStride;
        row.rect = *rect;
        row.scaleX = scaleX;
        row.scaleY = scaleY;
        row.offsetX = offsetX;
        row.offsetY = offsetY;
        row.threshold = threshold;
        runRowKernelBand(rowKernels, index, rect->y0, rect->y1, row, [this](Sarn_DiscardWarpRow& row, int32_t y) {
            row.y = y;
            row.reference = reference + int64_t(y) * referenceStride;
            row.dx = motion0 + int64_t(y) * motionStride;
            row.dy = motion1 + int64_t(y) * motionStride;
            return true;
        });
    }

    const uint8_t* source;
    const uint8_t* reference;
    int32_t sourceStride, referenceStride;
    uint8_t* motion0;
    uint8_t* motion1;
    int32_t motionStride;
    const Sarn_Rect* rect;
    float scaleX, scaleY, offsetX, offsetY, threshold;

private:
    using RowKernel = void (*)(const Sarn_DiscardWarpRow&);
    static constexpr SimdTiers<RowKernel> rowKernels{Sarn_DiscardWarpRow_scalar<Pixel>, Sarn_DiscardWarpRow_sse2<Pixel>,
                                                     Sarn_DiscardWarpRow_avx2<Pixel>,
                                                     Sarn_DiscardWarpRow_avx512<Pixel>};
};
