// Where a group of four consecutive destination pixels of a colour warp row
// samples its source: the positions split into cell and fraction, the mask of
// pixels whose neighbourhood lies inside the source, and the start of every
// pixel's neighbourhood. Shared by the AVX2 and AVX-512 row kernels; it is
// plain SSE2 on 128-bit vectors, one pixel per element, with the scalar
// kernels' operations in their order.
//
// Everything here has internal linkage: each kernel file compiles its own copy
// with its own instruction-set flags, and the linker can never hand the
// AVX-512 build of a helper to the AVX2 kernel.
#pragma once

#include "image/Sarn_ARWarp.h"
#include "image/Sarn_DiscardWarp.h"

#include <emmintrin.h>

#include <cstdint>

namespace {

// The sample position of four pixels split into cell and fraction exactly as
// Sarn_SplitPosition does; `ok` is all ones where the position has a cell.
inline void splitPositions(__m128 s, __m128i& cell, __m128& fraction, __m128i& ok) {
    ok = _mm_castps_si128(
        _mm_and_ps(_mm_cmpge_ps(s, _mm_set1_ps(-1073741824.0f)), _mm_cmplt_ps(s, _mm_set1_ps(1073741824.0f))));
    __m128i t = _mm_cvttps_epi32(s);
    t = _mm_add_epi32(t, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(t), s)));
    cell = t;
    fraction = _mm_sub_ps(s, _mm_cvtepi32_ps(t));
}

// Columns x .. x + 3 as floats.
inline __m128 groupColumns(int32_t x) {
    return _mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(x), _mm_setr_epi32(0, 1, 2, 3)));
}

// Four motion components of a float plane row from column x.
inline __m128 groupMotion(const uint8_t* plane, int32_t x) {
    return _mm_loadu_ps(reinterpret_cast<const float*>(plane + int64_t(x) * 4));
}

struct ColourWarpGroup {
    __m128i cellX, cellY;
    __m128 fractionX, fractionY;
    __m128i inside; // all ones for a pixel whose neighbourhood lies inside
    int pixels;     // bit j set where pixel j is inside
};

// Cells strictly between the bounds, in both directions, are inside.
struct ColourWarpBounds {
    __m128i left, right, top, bottom;

    ColourWarpGroup locate(__m128 sx, __m128 sy) const {
        ColourWarpGroup g;
        __m128i okX, okY;
        splitPositions(sx, g.cellX, g.fractionX, okX);
        splitPositions(sy, g.cellY, g.fractionY, okY);
        __m128i inside = _mm_and_si128(_mm_and_si128(okX, okY), _mm_and_si128(_mm_cmpgt_epi32(g.cellX, left),
                                                                              _mm_cmplt_epi32(g.cellX, right)));
        g.inside = _mm_and_si128(inside, _mm_and_si128(_mm_cmpgt_epi32(g.cellY, top), _mm_cmplt_epi32(g.cellY, bottom)));
        g.pixels = _mm_movemask_ps(_mm_castsi128_ps(g.inside));
        return g;
    }
};

// at[j]: the neighbourhood of pixel j, `rowsAbove` rows above and one column
// left of its cell. A pixel outside borrows the neighbourhood of the first
// pixel inside, so that its loads stay within the source; the kernels ignore
// its lane. Needs at least one pixel inside.
inline void groupNeighbourhoods(const ColourWarpGroup& g, const uint8_t* source, int64_t stride,
                                int32_t rowsAbove, int32_t pixelBytes, const uint8_t* at[4]) {
    alignas(16) int32_t cellX[4], cellY[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(cellX), g.cellX);
    _mm_store_si128(reinterpret_cast<__m128i*>(cellY), g.cellY);
    const int firstInside = __builtin_ctz(unsigned(g.pixels));
    for (int j = 0; j < 4; ++j) {
        const int k = (g.pixels >> j) & 1 ? j : firstInside;
        at[j] = source + int64_t(cellY[k] - rowsAbove) * stride + int64_t(cellX[k] - 1) * pixelBytes;
    }
}

// The groups of one Sarn_ARWarp row: neighbourhoods of rows iy - 2 .. iy + 3,
// inside where s.x0 < ix < s.x1 - 2 and s.y0 + 2 <= iy < s.y1 - 3.
class ARWarpGroups {
public:
    explicit ARWarpGroups(const Sarn_ARWarpRow& r)
        : row_(r), y_(_mm_set1_ps(float(r.y))), lineOffset_(_mm_set1_ps(r.lineOffset)),
          bounds_{_mm_set1_epi32(r.sourceRect.x0), _mm_set1_epi32(r.sourceRect.x1 - 2),
                  _mm_set1_epi32(r.sourceRect.y0 + 1), _mm_set1_epi32(r.sourceRect.y1 - 3)} {}

    ColourWarpGroup at(int32_t x) const {
        const __m128 sx = _mm_add_ps(groupColumns(x), groupMotion(row_.dx, x));
        const __m128 sy =
            _mm_add_ps(_mm_mul_ps(_mm_set1_ps(2.0f), _mm_add_ps(y_, groupMotion(row_.dy, x))), lineOffset_);
        return bounds_.locate(sx, sy);
    }

    void neighbourhoods(const ColourWarpGroup& g, int32_t pixelBytes, const uint8_t* at[4]) const {
        groupNeighbourhoods(g, row_.source, row_.sourceStride, 2, pixelBytes, at);
    }

private:
    const Sarn_ARWarpRow& row_;
    __m128 y_, lineOffset_;
    ColourWarpBounds bounds_;
};

// The groups of one Sarn_DiscardWarp row: neighbourhoods of rows iy - 1 ..
// iy + 2, inside where b.x0 < ix < b.x1 - 2 and b.y0 < iy < b.y1 - 2.
class DiscardWarpGroups {
public:
    explicit DiscardWarpGroups(const Sarn_DiscardWarpRow& r)
        : row_(r), y_(_mm_set1_ps(float(r.y))), offsetX_(_mm_set1_ps(r.offsetX)), offsetY_(_mm_set1_ps(r.offsetY)),
          scaleX_(_mm_set1_ps(r.scaleX)), scaleY_(_mm_set1_ps(r.scaleY)),
          bounds_{_mm_set1_epi32(r.rect.x0), _mm_set1_epi32(r.rect.x1 - 2), _mm_set1_epi32(r.rect.y0),
                  _mm_set1_epi32(r.rect.y1 - 2)} {}

    ColourWarpGroup at(int32_t x) const {
        const __m128 sx = _mm_add_ps(_mm_add_ps(groupColumns(x), offsetX_), _mm_mul_ps(groupMotion(row_.dx, x), scaleX_));
        const __m128 sy = _mm_add_ps(_mm_add_ps(_mm_mul_ps(groupMotion(row_.dy, x), scaleY_), y_), offsetY_);
        return bounds_.locate(sx, sy);
    }

    void neighbourhoods(const ColourWarpGroup& g, int32_t pixelBytes, const uint8_t* at[4]) const {
        groupNeighbourhoods(g, row_.source, row_.sourceStride, 1, pixelBytes, at);
    }

private:
    const Sarn_DiscardWarpRow& row_;
    __m128 y_, offsetX_, offsetY_, scaleX_, scaleY_;
    ColourWarpBounds bounds_;
};

} // namespace
