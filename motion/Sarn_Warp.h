// Luminance warp: every destination pixel samples the source at its position
// displaced by the motion (u, v) of its solver element, with Catmull-Rom
// bicubic interpolation inside the source and the plain nearest sample at its
// edges.
#pragma once

#include "image/Sarn_CatmullRom.h"
#include "image/Sarn_Pixel.h"
#include "parallel/JobBinding.h"
#include "parallel/Sarn_Thread.h"
#include "parallel/Sarn_SetThreadCount.h"

#include <cstdint>
#include <cstring>

// Exact floor without a library call: adding and subtracting 2^23 with the
// value's sign rounds to an integer, which is corrected down when it rounded up.
inline float Sarn_WarpFloor(float value) {
    constexpr float big = 8388608.0f;
    if (!(value < big && value > -big))
        return value; // already integral (or NaN)
    const float shift = value < 0.0f ? -big : big;
    float rounded = (value + shift) - shift;
    if (rounded > value)
        rounded -= 1.0f;
    return rounded;
}

// Four floats operated on lane by lane (compiler vector extension; each lane
// rounds exactly as the scalar operation would).
typedef float Sarn_Float4 __attribute__((vector_size(16)));

template <class Environ, class Image, class Motion>
class Sarn_Warp : public Environ::Thread {
public:
    using Pixel = typename Image::Pixel;
    using Sample = typename Pixel::Type;
    static_assert(Pixel::channels == 1 && Motion::Pixel::channels == 2);

    Sarn_Warp(PF_InData* inData, const void* source, void* destination, int32_t sourceStride,
              int32_t destinationStride, const void* motion, int32_t motionStride,
              const Sarn_Rect* bounds, const Sarn_Rect* area, float scaleX = 1.0f,
              float scaleY = 1.0f, float offsetX = 0.0f, float offsetY = 0.0f, Sample fill = Sample(0))
        : Environ::Thread(inData), source(static_cast<const uint8_t*>(source)),
          destination(static_cast<uint8_t*>(destination)), sourceStride(sourceStride),
          destinationStride(destinationStride), motion(static_cast<const uint8_t*>(motion)),
          motionStride(motionStride), bounds(bounds), area(area), scaleX(scaleX), scaleY(scaleY),
          offsetX(offsetX), offsetY(offsetY), fill(fill) {}

    void run(int index) override {
        const BandRange rows = bandRows(index, Sarn_GetThreadCount(), area->y0, area->y1);
        for (int32_t y = rows.begin; y < rows.end; ++y)
            warpRow(y);
    }

    const uint8_t* source;
    uint8_t* destination;
    int32_t sourceStride;
    int32_t destinationStride;
    const uint8_t* motion;
    int32_t motionStride;
    const Sarn_Rect* bounds;
    const Sarn_Rect* area;
    float scaleX;
    float scaleY;
    float offsetX;
    float offsetY;
    Sample fill;

private:
    // Fields are copied into locals first: byte-sized stores may alias them.
    void warpRow(int32_t y) const {
        const Sarn_Rect b = *bounds;
        const int32_t x0 = area->x0, x1 = area->x1;
        const uint8_t* const image = source;
        const int64_t stride = sourceStride;
        const float sx = scaleX, sy = scaleY, ox = offsetX, oy = offsetY;
        const Sample outside = fill;
        const uint8_t* motionRow = motion + int64_t(y) * motionStride;
        Sample* out = reinterpret_cast<Sample*>(destination + int64_t(y) * destinationStride);
        auto row = [image, stride](int32_t r) { return reinterpret_cast<const Sample*>(image + r * stride); };
        const float fy0 = float(y);
        Batch batch;
        for (int32_t x = x0; x < x1; ++x) {
            const uint8_t* element = motionRow + int64_t(x) * Motion::Pixel::bytes;
            const float u = Motion::Pixel::load(element, 0);
            const float v = Motion::Pixel::load(element, 1);
            const float px = float(x) + u * sx + ox;
            const float py = fy0 + v * sy + oy;
            const float floorX = Sarn_WarpFloor(px);
            const float floorY = Sarn_WarpFloor(py);
            // Positions beyond the 32-bit range (or NaN) are outside every source.
            if (!(floorX >= -1073741824.0f && floorX <= 1073741824.0f && floorY >= -1073741824.0f &&
                  floorY <= 1073741824.0f)) {
                out[x] = outside;
                continue;
            }
            const int32_t ix = int32_t(floorX);
            const int32_t iy = int32_t(floorY);
            const float fx = px - floorX, fy = py - floorY;
            if (ix > b.x0 && ix < b.x1 - 2 && b.y0 < iy && iy < b.y1 - 2) {
                // Interpolated pixels are gathered four at a time and computed
                // in the lanes of Sarn_Float4.
                batch.x[batch.count] = x;
                batch.ix[batch.count] = ix;
                batch.iy[batch.count] = iy;
                batch.fx[batch.count] = fx;
                batch.fy[batch.count] = fy;
                if (++batch.count == 4) {
                    bicubic4(batch, row, out);
                    batch.count = 0;
                }
                continue;
            }
            // Near the edges the sample nearest to the position (halves round
            // up), or the fill value when that lies outside. Taking the floored
            // sample instead would shift the edge rows and columns by up to a
            // pixel towards the top left, which the solver answers with a
            // spurious positive motion there that spreads inwards at the
            // coarse levels.
            const int32_t nx = fx >= 0.5f ? ix + 1 : ix;
            const int32_t ny = fy >= 0.5f ? iy + 1 : iy;
            out[x] = b.x0 <= nx && nx < b.x1 && b.y0 <= ny && ny < b.y1 ? row(ny)[nx] : outside;
        }
        for (int32_t k = 0; k < batch.count; ++k)
            out[batch.x[k]] = storeValue(bicubic(batch.ix[k], batch.iy[k], batch.fx[k], batch.fy[k], row));
    }

    struct Batch {
        int32_t count = 0;
        int32_t x[4], ix[4], iy[4];
        float fx[4], fy[4];
    };

    // Rows iy - 1 .. iy + 2 interpolated at fx, then the four results at fy.
    template <class Row>
    static float bicubic(int32_t ix, int32_t iy, float fx, float fy, const Row& row) {
        float across[4];
        for (int32_t k = 0; k < 4; ++k) {
            const Sample* s = row(iy - 1 + k) + (ix - 1);
            across[k] = Sarn_CatmullRomPowers(float(s[0]), float(s[1]), float(s[2]), float(s[3]), fx);
        }
        return Sarn_CatmullRomPowers(across[0], across[1], across[2], across[3], fy);
    }

    // bicubic() for four pixels at once, one per lane.
    template <class Row>
    static void bicubic4(const Batch& b, const Row& row, Sample* out) {
        const Sample* s[4][4]; // [lane][row]
        for (int32_t l = 0; l < 4; ++l)
            for (int32_t k = 0; k < 4; ++k)
                s[l][k] = row(b.iy[l] - 1 + k) + (b.ix[l] - 1);
        const Sarn_Float4 fx = {b.fx[0], b.fx[1], b.fx[2], b.fx[3]};
        const Sarn_Float4 fy = {b.fy[0], b.fy[1], b.fy[2], b.fy[3]};
        Sarn_Float4 across[4];
        for (int32_t k = 0; k < 4; ++k) {
            Sarn_Float4 p[4];
            for (int32_t c = 0; c < 4; ++c)
                p[c] = Sarn_Float4{float(s[0][k][c]), float(s[1][k][c]), float(s[2][k][c]), float(s[3][k][c])};
            across[k] = Sarn_CatmullRomPowers(p[0], p[1], p[2], p[3], fx);
        }
        const Sarn_Float4 result = Sarn_CatmullRomPowers(across[0], across[1], across[2], across[3], fy);
        for (int32_t l = 0; l < 4; ++l)
            out[b.x[l]] = storeValue(result[l]);
    }

    static Sample storeValue(float value) {
        if constexpr (Pixel::isFloat)
            return value;
        else
            return Sarn_StoreInt<Sample, int(Pixel::fullScale)>(value);
    }
};

using Sarn_Warp8 = Sarn_Warp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum8>, Sarn_PixelPtr<Sarn_MotionUV>>;
using Sarn_Warp16 = Sarn_Warp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum16>, Sarn_PixelPtr<Sarn_MotionUV>>;
using Sarn_WarpF = Sarn_Warp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>, Sarn_PixelPtr<Sarn_MotionUV>>;

extern template class Sarn_Warp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum8>, Sarn_PixelPtr<Sarn_MotionUV>>;
extern template class Sarn_Warp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum16>, Sarn_PixelPtr<Sarn_MotionUV>>;
extern template class Sarn_Warp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>, Sarn_PixelPtr<Sarn_MotionUV>>;
