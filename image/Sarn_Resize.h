// Separable cubic resampling of a one-channel image (luminance levels of the
// motion pyramid, and one motion component inside the 36-byte solver
// elements). Coefficients come from 257-phase tables; each band of destination
// rows keeps a ring of horizontally filtered source rows so that every source
// row is filtered at most once per band.
#pragma once

#include "image/HostMemory.h"
#include "image/Sarn_Pixel.h"
#include "image/Sarn_ResizeColumn.h"
#include "image/Sarn_ResizeCombine.h"
#include "image/Sarn_ResizeLanes.h"
#include "parallel/JobBinding.h"
#include "parallel/KelException.h"
#include "parallel/ProcessorFeatures.h"
#include "parallel/Sarn_Thread.h"
#include "parallel/Sarn_SetThreadCount.h"
#include "parallel/platform/PlatformThread.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

// Kernel, position arithmetic and the view conversions used by Sarn_Resize.
struct Sarn_Resize_Funcs {
    static constexpr int32_t phases = 257;
    // A fractional part below 1/512 counts as integral when finding the first tap.
    static constexpr float firstTapBias = 0.998046875f;

    // Cubic convolution kernel with a = -0.5; zero from |x| = 2 on.
    static float kernel(float x) {
        const float a = std::fabs(x);
        const float a2 = a * a;
        const float a3 = a2 * a;
        if (a < 1.0f)
            return 0.5f * (3.0f * a3 - 5.0f * a2 + 2.0f);
        if (a < 2.0f)
            return 0.5f * (-a3 + 5.0f * a2 - 8.0f * a + 4.0f);
        return 0.0f;
    }

    static int32_t phaseOf(float fraction) { return int32_t(fraction * 256.0f + 0.5f); }

    template <class P>
    static float load(const uint8_t* row, int32_t x) {
        return P::load(row + int64_t(x) * P::bytes, 0);
    }
    template <class P>
    static void store(uint8_t* row, int32_t x, float value) {
        P::store(row + int64_t(x) * P::bytes, 0, value);
    }
};

// First tap and phase of a destination sample on one axis.
struct Sarn_ResizePosition {
    int32_t first; // source index of tap 0
    float fraction; // in [0, 1)
    int32_t phase;
};

// One axis of a resize: step, kernel geometry and the coefficient table.
class Sarn_ResizeAxis {
public:
    // Builds the 257-phase table for lengths srcLength -> dstLength, every
    // phase normalised to sum `axisScale`. `extraBytes` are reserved after the
    // table in the same host memory (the horizontal axis keeps its column
    // positions there). Throws std::bad_alloc when the host has no memory.
    Sarn_ResizeAxis(PF_InData* inData, int32_t srcLength, int32_t dstLength, float support,
                    float axisScale, uint64_t extraBytes);

    // Tap count T of an axis (host ceil of 4 * support * max(step, 1), at least 1).
    static int32_t tapsFor(PF_InData* inData, int32_t srcLength, int32_t dstLength, float support);

    // Position of destination coordinate t computed directly (P = t * step).
    Sarn_ResizePosition start(int32_t t) const;
    // The next destination coordinate's position, advanced incrementally.
    void advance(Sarn_ResizePosition& position) const {
        const float next = position.fraction + step;
        position.first += int32_t(std::floor(next + Sarn_Resize_Funcs::firstTapBias)) -
                          int32_t(std::floor(position.fraction + Sarn_Resize_Funcs::firstTapBias));
        position.fraction = next - std::floor(next);
        position.phase = Sarn_Resize_Funcs::phaseOf(position.fraction);
    }

    const float* weights(int32_t phase) const { return table + int64_t(phase) * taps; }
    uint8_t* extra() const { return reinterpret_cast<uint8_t*>(table + int64_t(Sarn_Resize_Funcs::phases) * taps); }

    float step;
    float kernelScale;
    float kernelOffset;
    int32_t taps;
    float* table;
    int32_t tapCount[Sarn_Resize_Funcs::phases];

private:
    double (*hostFloor)(double);
    HostBuffer memory;
};

// DstView differs from View only where a motion component moves between the
// 36-byte solver elements and a plain float plane; the arithmetic is the same.
template <class Environ, class View, class Funcs, class DstView = View>
class Sarn_Resize {
public:
    using Pixel = typename View::Pixel;
    using DstPixel = typename DstView::Pixel;

    // Sides must be at least 2. valueScale multiplies every output (through
    // the vertical table); support widens the kernel (1 everywhere).
    Sarn_Resize(PF_InData* inData, const void* source, void* destination, int32_t srcWidth,
                int32_t srcHeight, int32_t dstWidth, int32_t dstHeight, int32_t srcStride,
                int32_t dstStride, float valueScale, float support)
        : inData(inData), source(static_cast<const uint8_t*>(source)),
          destination(static_cast<uint8_t*>(destination)), srcStride(srcStride),
          dstStride(dstStride), srcRect{0, srcWidth, 0, srcHeight},
          dstRect{0, dstWidth, 0, dstHeight},
          level(simdLevel()),
          horizontal(inData, checkedLength(srcWidth), checkedLength(dstWidth), support, 1.0f,
                     columnBytes(inData, level, checkedLength(srcWidth), checkedLength(dstWidth), support)),
          vertical(inData, checkedLength(srcHeight), checkedLength(dstHeight), support, valueScale, 0) {
        buildColumns();
    }

    // Resamples the whole destination; throws std::bad_alloc before any band
    // runs when the scratch cannot be had.
    void run() {
        const int32_t bands = Sarn_GetThreadCount();
        const uint64_t page = uint64_t(pageSize());
        // Per band: T_vertical filtered rows of dstWidth floats, then the
        // source row being filtered, converted and padded by one tap stride
        // and the vector kernels' read slack.
        const uint64_t ringBytes = roundUp((uint64_t(vertical.taps) * uint64_t(dstRect.x1) + uint64_t(srcRect.x1) +
                                            uint64_t(horizontal.taps) + uint64_t(Sarn_ResizeLanes::readSlack)) *
                                               sizeof(float),
                                           page);
        // Per band: T_vertical row pointers and the source row held by each ring slot.
        const uint64_t pointerBytes =
            roundUp(uint64_t(vertical.taps) * (sizeof(float*) + sizeof(int32_t)), page);
        HostBuffer ring(inData, ringBytes * uint64_t(bands), page);
        HostBuffer pointers(inData, pointerBytes * uint64_t(bands), page);
        ResizeThread job(inData, this, ring.data(), pointers.data(), ringBytes, pointerBytes);
        job.execute();
    }

    int32_t horizontalTaps() const { return horizontal.taps; }
    int32_t verticalTaps() const { return vertical.taps; }
    const Sarn_ResizeAxis& horizontalAxis() const { return horizontal; }
    // Destination columns per vector in the horizontal pass (0: scalar).
    int32_t horizontalLanes() const { return lanes.lanes(); }
    const Sarn_ResizeAxis& verticalAxis() const { return vertical; }

    class ResizeThread : public Environ::Thread {
    public:
        ResizeThread(PF_InData* inData, const Sarn_Resize* resize, uint8_t* ringBase,
                     uint8_t* pointerBase, uint64_t ringBytes, uint64_t pointerBytes)
            : Environ::Thread(inData), resize(resize), ringBase(ringBase), pointerBase(pointerBase),
              ringBytes(ringBytes), pointerBytes(pointerBytes) {}

        void run(int index) override {
            resize->resizeBand(index, reinterpret_cast<float*>(ringBase + uint64_t(index) * ringBytes),
                               pointerBase + uint64_t(index) * pointerBytes);
        }

        const Sarn_Resize* resize;
        uint8_t* ringBase;
        uint8_t* pointerBase;
        uint64_t ringBytes;    // per band, whole pages
        uint64_t pointerBytes; // per band, whole pages
    };

private:
    static int32_t checkedLength(int32_t length) {
        // The step divides by the destination length minus one.
        if (length < 2)
            throw Kel::Exception("Sarn_Resize", "Image sides must be at least 2.");
        return length;
    }
    // What the horizontal axis keeps after its table: the columns, then their
    // vector layout at `level`.
    static uint64_t columnBytes(PF_InData* inData, SimdLevel level, int32_t srcWidth, int32_t dstWidth,
                                float support) {
        return uint64_t(dstWidth) * sizeof(Sarn_ResizeColumn) +
               Sarn_ResizeLanes::bytesFor(level, Sarn_ResizeAxis::tapsFor(inData, srcWidth, dstWidth, support),
                                          dstWidth);
    }
    static int32_t pageSize() { return Kel::Platform::pageSize(); }
    static uint64_t roundUp(uint64_t bytes, uint64_t page) { return (bytes + page - 1) / page * page; }

    // Column tap positions are the same for every row: walk them once. The
    // columns right of `leftEnd` are ordered by tap count, so that the tap loop
    // runs the same number of times for long stretches and its exit branch is
    // predictable; each output is still summed in tap order. The vector
    // kernels get the same columns laid out lane by lane in column order.
    void buildColumns() {
        columns = reinterpret_cast<Sarn_ResizeColumn*>(horizontal.extra());
        Sarn_ResizePosition position = horizontal.start(0);
        leftEnd = dstRect.x1;
        for (int32_t t = 0; t < dstRect.x1; ++t) {
            if (t > 0)
                horizontal.advance(position);
            if (position.first >= srcRect.x0 && leftEnd == dstRect.x1)
                leftEnd = t;
            const int32_t first = t < leftEnd ? position.first : std::min(position.first, srcRect.x1 - 1);
            columns[t] = Sarn_ResizeColumn{t, first, position.phase * horizontal.taps,
                                           horizontal.tapCount[position.phase]};
        }
        lanes = Sarn_ResizeLanes(level, horizontal.table, horizontal.taps, columns, leftEnd, dstRect.x1,
                                 horizontal.extra() + uint64_t(dstRect.x1) * sizeof(Sarn_ResizeColumn));
        if (!lanes.active())
            std::stable_sort(columns + leftEnd, columns + dstRect.x1,
                             [](const Sarn_ResizeColumn& a, const Sarn_ResizeColumn& b) { return a.taps < b.taps; });
    }

    // One source row, converted to floats and padded on the right with copies
    // of its last element, filtered into `out` (dstWidth floats).
    void filterRow(const uint8_t* sourceRow, float* padded, float* out) const {
        const int32_t width = srcRect.x1;
        for (int32_t x = 0; x < width; ++x)
            padded[x] = Funcs::template load<Pixel>(sourceRow, x);
        const float last = padded[width - 1];
        for (int32_t k = 0; k < horizontal.taps + Sarn_ResizeLanes::readSlack; ++k)
            padded[width + k] = last;

        // Left of the first column: taps before it read it, taps at or beyond
        // the right end are skipped (only sources narrower than the kernel).
        for (int32_t k = 0; k < leftEnd; ++k) {
            const Sarn_ResizeColumn& c = columns[k];
            const float* w = horizontal.table + c.weightOffset;
            const int32_t n = std::min(c.taps, width - c.first);
            float sum = w[0] * padded[std::max(c.first, 0)];
            for (int32_t j = 1; j < n; ++j)
                sum += w[j] * padded[std::max(c.first + j, 0)];
            out[c.column] = sum;
        }
        // Elsewhere the padding stands for taps clamped at the last column.
        if (lanes.active()) {
            lanes.filter(padded, out);
            return;
        }
        for (int32_t k = leftEnd; k < dstRect.x1; ++k) {
            const Sarn_ResizeColumn& c = columns[k];
            const float* w = horizontal.table + c.weightOffset;
            const float* p = padded + c.first;
            float sum = w[0] * p[0];
            for (int32_t j = 1; j < c.taps; ++j)
                sum += w[j] * p[j];
            out[c.column] = sum;
        }
    }

    void resizeBand(int32_t index, float* ring, uint8_t* pointerArea) const {
        const BandRange rows = bandRows(index, Sarn_GetThreadCount(), dstRect.y0, dstRect.y1);
        if (rows.begin >= rows.end)
            return;
        const int32_t taps = vertical.taps;
        const int32_t width = dstRect.x1;
        const int32_t lastRow = srcRect.y1 - 1;
        float* padded = ring + int64_t(taps) * width;
        const float** rowOf = reinterpret_cast<const float**>(pointerArea);
        int32_t* slotRow = reinterpret_cast<int32_t*>(pointerArea + sizeof(float*) * size_t(taps));
        std::fill(slotRow, slotRow + taps, -1);

        Sarn_ResizePosition position = vertical.start(rows.begin);
        for (int32_t y = rows.begin; y < rows.end; ++y) {
            if (y > rows.begin)
                vertical.advance(position);
            const int32_t i = std::min(position.first, lastRow);
            int32_t n = vertical.tapCount[position.phase];
            if (i < srcRect.y0)
                n = std::min(n, srcRect.y1 - i);
            for (int32_t k = 0; k < n; ++k) {
                const int32_t r = std::clamp(i + k, srcRect.y0, lastRow);
                const int32_t slot = (r - srcRect.y0) % taps;
                float* slotData = ring + int64_t(slot) * width;
                if (slotRow[slot] != r) {
                    filterRow(source + int64_t(r) * srcStride, padded, slotData);
                    slotRow[slot] = r;
                }
                rowOf[k] = slotData;
            }
            combineRows(vertical.weights(position.phase), rowOf, n,
                        destination + int64_t(y) * dstStride, width);
        }
    }

    // The sums of columns x0 .. x0 + count - 1 through the destination view's
    // conversion; one-channel 8-bit and 16-bit rows have vector stores.
    void storeSums(const float* sum, int32_t count, uint8_t* out, int32_t x0) const {
        using Type = typename DstPixel::Type;
        int32_t done = 0;
        if constexpr (!DstPixel::isFloat && DstPixel::bytes == int(sizeof(Type))) {
            uint8_t* row = out + int64_t(x0) * DstPixel::bytes;
            if constexpr (sizeof(Type) == 1) {
                if (store8 != nullptr)
                    done = store8(sum, count, row);
            } else if constexpr (sizeof(Type) == 2) {
                if (store16 != nullptr)
                    done = store16(sum, count, row);
            }
        }
        for (int32_t x = done; x < count; ++x)
            Funcs::template store<DstPixel>(out, x0 + x, sum[x]);
    }

    // Output(x) = sum over k of w[k] * row k (x), summed in tap order.
    void combineRows(const float* w, const float* const* rowOf, int32_t n, uint8_t* out, int32_t width) const {
        constexpr int32_t chunk = 256;
        float sum[chunk];
        for (int32_t x0 = 0; x0 < width; x0 += chunk) {
            const int32_t count = std::min(chunk, width - x0);
            const int32_t done = combine != nullptr ? combine(w, rowOf, n, x0, count, sum) : 0;
            const float* r0 = rowOf[0] + x0;
            for (int32_t x = done; x < count; ++x)
                sum[x] = w[0] * r0[x];
            for (int32_t k = 1; k < n; ++k) {
                const float wk = w[k];
                const float* rk = rowOf[k] + x0;
                for (int32_t x = done; x < count; ++x)
                    sum[x] += wk * rk[x];
            }
            storeSums(sum, count, out, x0);
        }
    }

    PF_InData* inData;
    const uint8_t* source;
    uint8_t* destination;
    int32_t srcStride;
    int32_t dstStride;
    Sarn_Rect srcRect;
    Sarn_Rect dstRect;
    SimdLevel level; // vector tier of the horizontal pass, fixed for the whole resize
    Sarn_ResizeAxis horizontal;
    Sarn_ResizeAxis vertical;
    Sarn_ResizeColumn* columns = nullptr;
    int32_t leftEnd = 0;
    Sarn_ResizeLanes lanes;
    Sarn_ResizeCombineKernel combine = Sarn_ResizeCombineTiers.at(level);
    Sarn_ResizeStore8 store8 = Sarn_ResizeStore8Tiers.at(level);
    Sarn_ResizeStore16 store16 = Sarn_ResizeStore16Tiers.at(level);
};

using Sarn_Resize8 = Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum8>, Sarn_Resize_Funcs>;
using Sarn_Resize16 = Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum16>, Sarn_Resize_Funcs>;
using Sarn_ResizeF = Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>, Sarn_Resize_Funcs>;
using Sarn_ResizeMotion = Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_MotionOne>, Sarn_Resize_Funcs>;

extern template class Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum8>, Sarn_Resize_Funcs>;
extern template class Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum16>, Sarn_Resize_Funcs>;
extern template class Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>, Sarn_Resize_Funcs>;
extern template class Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_MotionOne>, Sarn_Resize_Funcs>;
extern template class Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_MotionOne>, Sarn_Resize_Funcs,
                                  Sarn_PixelPtr<Sarn_LumF>>;
extern template class Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>, Sarn_Resize_Funcs,
                                  Sarn_PixelPtr<Sarn_MotionOne>>;
