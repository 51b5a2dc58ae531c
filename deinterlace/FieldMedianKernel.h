// The field interpolation kernel: every pixel of the rebuilt field is the
// brightness median of the pixel above, the pixel below and the average of the
// middle pair of the six kept pixels around it (columns x - 1, x, x + 1 of the
// kept rows above and below).
#pragma once

#include "deinterlace/FieldJob.h"
#include "deinterlace/FieldMedianRows.h"
#include "image/ImageView.h"
#include "deinterlace/NeighbourhoodView.h"
#include "image/Sarn_Pixel.h"
#include "parallel/ProcessorFeatures.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

// Pixel: Sarn_Pixel8, Sarn_Pixel16 or Sarn_PixelF. Order: Sarn_OrderARGB
// (alpha first) or Sarn_OrderRGBA (alpha last); it only decides which three
// channels make up the brightness.
template <class Pixel, class Order>
class FieldMedianKernel {
public:
    using Channel = typename Pixel::Type;
    static constexpr int bytes = Pixel::bytes;
    static constexpr bool isFloat = Pixel::isFloat;
    using Brightness = std::conditional_t<isFloat, float, int32_t>;
    using View = ImageView<bytes>;
    using Neighbourhood = NeighbourhoodView<bytes>;
    using Job = FieldJob<bytes>;

    struct Value {
        Channel c[4];
    };
    static_assert(sizeof(Value) == bytes);

    static Value load(const uint8_t* p) {
        Value v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void store(uint8_t* p, const Value& v) { std::memcpy(p, &v, sizeof v); }

    // Float: single precision, first colour channel plus the second, then the
    // third. Integers: exact in 32 bits.
    static Brightness brightness(const Value& p) {
        if constexpr (isFloat)
            return (p.c[Order::c1] + p.c[Order::c2]) + p.c[Order::c3];
        else
            return int32_t(p.c[Order::c1]) + int32_t(p.c[Order::c2]) + int32_t(p.c[Order::c3]);
    }

    // Channel-wise over all four channels: integers round down, floats are
    // halved in single precision.
    static Value average(const Value& p, const Value& q) {
        Value a;
        for (int c = 0; c < 4; ++c) {
            if constexpr (isFloat)
                a.c[c] = (p.c[c] + q.c[c]) * 0.5f;
            else
                a.c[c] = Channel((int32_t(p.c[c]) + int32_t(q.c[c])) >> 1);
        }
        return a;
    }

    // Average of the third and fourth brightest of six. The order of the
    // arguments and of every comparison settles ties.
    static Value middlePairAverage(const Value& p1, const Value& p2, const Value& p3,
                                   const Value& p4, const Value& p5, const Value& p6) {
        const Value *L1, *H1, *L2, *H2, *L3, *H3;
        orderPair(p1, p2, L1, H1);
        orderPair(p3, p4, L2, H2);
        orderPair(p5, p6, L3, H3);

        // Drop the darkest low member.
        const Value *m, *n;
        if (brightness(*L2) < brightness(*L1)) {
            m = L2;
            n = L1;
        } else {
            m = L1;
            n = L2;
        }
        const Value* S = brightness(*m) <= brightness(*L3) ? L3 : m;

        // Drop the brightest high member.
        const Value *M, *N;
        if (brightness(*H3) < brightness(*H1)) {
            M = H1;
            N = H3;
        } else {
            M = H3;
            N = H1;
        }
        const Value* T = brightness(*H2) <= brightness(*M) ? H2 : M;

        const Value *XL, *XH, *YL, *YH;
        orderPair(*N, *n, XL, XH);
        orderPair(*T, *S, YL, YH);
        const Value* P = brightness(*XL) <= brightness(*YL) ? YL : XL;
        const Value* Q = brightness(*YH) <= brightness(*XH) ? YH : XH;
        return average(*P, *Q);
    }

    static Value medianOfThree(const Value& a, const Value& above, const Value& below) {
        const Brightness ba = brightness(a);
        if (brightness(above) < brightness(below)) {
            if (ba <= brightness(above))
                return above;
            if (ba <= brightness(below))
                return a;
            return below;
        }
        if (ba <= brightness(below))
            return below;
        if (ba <= brightness(above))
            return a;
        return above;
    }

    // The output pixel at output field coordinates (x, k), with every
    // coordinate clamped into the input field view.
    static Value interpolatePixel(const Neighbourhood& neighbourhood, int32_t x, int32_t k) {
        const View& in = neighbourhood.view;
        auto column = [&](int32_t c) { return std::min(in.rect.right - 1, std::max(in.rect.left, c)); };
        auto row = [&](int32_t r) { return std::min(in.rect.bottom - 1, std::max(in.rect.top, r)); };
        const int32_t xm = column(x - 1), xc = column(x), xp = column(x + 1);
        const int32_t ya = row(k), yb = row(k + 1);
        const Value U = load(in.pixel(xc, ya)), D = load(in.pixel(xc, yb));
        const Value A = middlePairAverage(load(in.pixel(xm, ya)), U, load(in.pixel(xp, ya)),
                                          load(in.pixel(xm, yb)), D, load(in.pixel(xp, yb)));
        return medianOfThree(A, U, D);
    }

    // The same from pointers to U and D, with the six pixels read directly.
    static Value interpolateDirect(const uint8_t* above, const uint8_t* below) {
        const Value U = load(above), D = load(below);
        const Value A = middlePairAverage(load(above - bytes), U, load(above + bytes),
                                          load(below - bytes), D, load(below + bytes));
        return medianOfThree(A, U, D);
    }

    // The part of rect whose neighbourhoods lie inside the view. A view too
    // small to hold one whole neighbourhood has no such part: the result is
    // then empty.
    static ViewRect safeInterior(const Neighbourhood& neighbourhood, const ViewRect& rect) {
        const ViewRect& v = neighbourhood.view.rect;
        const int32_t cLo = v.left - neighbourhood.reachLeft;
        const int32_t cHi = v.right - neighbourhood.reachRight - 1;
        const int32_t rLo = v.top - neighbourhood.reachTop;
        const int32_t rHi = v.bottom - neighbourhood.reachBottom - 1;
        if (cHi < cLo || rHi < rLo)
            return ViewRect{rect.left, rect.top, rect.left - 1, rect.top - 1};
        auto clampC = [&](int32_t c) { return std::min(cHi, std::max(cLo, c)); };
        auto clampR = [&](int32_t r) { return std::min(rHi, std::max(rLo, r)); };
        return ViewRect{clampC(rect.left), clampR(rect.top), clampC(rect.right - 1) + 1,
                        clampR(rect.bottom - 1) + 1};
    }

    static constexpr FieldMedianInstance instance() {
        constexpr bool alphaFirst = Order::alpha == 0;
        if constexpr (bytes == 4)
            return alphaFirst ? kFieldMedian8AlphaFirst : kFieldMedian8AlphaLast;
        else if constexpr (bytes == 8)
            return alphaFirst ? kFieldMedian16AlphaFirst : kFieldMedian16AlphaLast;
        else
            return alphaFirst ? kFieldMedianFloatAlphaFirst : kFieldMedianFloatAlphaLast;
    }

    // The vector row function of the best tier allowed, or null for scalar.
    static FieldMedianRowFunction vectorRows() { return fieldMedianRowTiers(instance()).current(); }

    // Band method for dispatchBand: `object` is the Job. Rows of band `index`
    // of `count` are cut from the band area; threadIndex is not used.
    static void band(void* object, int32_t index, int32_t count, int32_t threadIndex);

private:
    // Low member first; on equal brightness p is the low one.
    static void orderPair(const Value& p, const Value& q, const Value*& low, const Value*& high) {
        if (brightness(q) < brightness(p)) {
            low = &q;
            high = &p;
        } else {
            low = &p;
            high = &q;
        }
    }

    // Bytes fetched ahead at the start of the next kept and output row.
    static constexpr int64_t kPrefetchBytes = 512;
    static void prefetch(const uint8_t* p, int64_t size) {
        for (int64_t i = 0; i < size; i += 64)
            __builtin_prefetch(p + i);
    }

    // Widest vector of any tier, in pixels, and the columns gathered at once.
    static constexpr int32_t kMaxLanes = 16;
    static constexpr int32_t kEdgeChunk = 64;

    // Pixels whose neighbourhood needs clamping. Without vector rows each is
    // interpolatePixel. With them, the clamped neighbours of up to
    // kEdgeChunk columns are gathered into two short rows on the stack (one
    // column of margin each side, padded to a whole vector), on which the
    // direct computation gives the same pixels as interpolatePixel.
    static void clampedRun(const Job& job, const Neighbourhood& neighbourhood,
                           FieldMedianRowFunction rows, int32_t left, int32_t right, int32_t k) {
        if (right <= left)
            return;
        uint8_t* out = job.output->pixel(left, k);
        if (rows == nullptr) {
            for (int32_t x = left; x < right; ++x, out += bytes)
                store(out, interpolatePixel(neighbourhood, x, k));
            return;
        }
        const View& in = neighbourhood.view;
        auto column = [&](int32_t c) { return std::min(in.rect.right - 1, std::max(in.rect.left, c)); };
        auto row = [&](int32_t r) { return std::min(in.rect.bottom - 1, std::max(in.rect.top, r)); };
        const uint8_t* aboveRow = in.pixel(in.rect.left, row(k));
        const uint8_t* belowRow = in.pixel(in.rect.left, row(k + 1));
        alignas(64) uint8_t above[(kEdgeChunk + kMaxLanes + 2) * bytes];
        alignas(64) uint8_t below[(kEdgeChunk + kMaxLanes + 2) * bytes];
        alignas(64) uint8_t result[(kEdgeChunk + kMaxLanes) * bytes];
        for (int32_t x0 = left; x0 < right; x0 += kEdgeChunk, out += int64_t(kEdgeChunk) * bytes) {
            const int32_t n = std::min(kEdgeChunk, right - x0);
            const int32_t padded = std::max(n, kMaxLanes);
            for (int32_t i = 0; i < padded + 2; ++i) {
                const int64_t offset = int64_t(column(x0 - 1 + i) - in.rect.left) * bytes;
                std::memcpy(above + i * bytes, aboveRow + offset, bytes);
                std::memcpy(below + i * bytes, belowRow + offset, bytes);
            }
            const int32_t done = rows(result, above + bytes, below + bytes, padded);
            for (int32_t i = done; i < n; ++i)
                store(result + i * bytes, interpolateDirect(above + (i + 1) * bytes, below + (i + 1) * bytes));
            std::memcpy(out, result, size_t(n) * bytes);
        }
    }
};

template <class Pixel, class Order>
void FieldMedianKernel<Pixel, Order>::band(void* object, int32_t index, int32_t count,
                                           int32_t /*threadIndex*/) {
    const Job& job = *static_cast<const Job*>(object);
    const ViewRect& area = job.bandArea;
    const View& in = *job.input;
    // Without a kept pixel to read (an input with no row of the kept field)
    // there is nothing to interpolate from: the output is left as it is.
    if (count <= 0 || area.height() <= 0 || area.width() <= 0 || in.data == nullptr ||
        in.rect.width() <= 0 || in.rect.height() <= 0)
        return;

    // Unsigned division as the runner's band rule has it; the product is
    // formed in 64 bits so that it cannot wrap.
    const uint64_t h = uint64_t(area.height());
    ViewRect band = area;
    band.top = area.top + int32_t(uint64_t(index) * h / uint64_t(count));
    band.bottom = area.top + int32_t(uint64_t(index + 1) * h / uint64_t(count));
    if (band.bottom <= band.top)
        return;

    const Neighbourhood neighbourhood{in};
    ViewRect inner = safeInterior(neighbourhood, band);
    intersectRect(inner, band);
    if (inner.isEmpty())
        inner = ViewRect{band.left, band.top, band.left, band.top};

    const FieldMedianRowFunction rows = vectorRows();
    for (int32_t k = band.top; k < inner.top; ++k)
        clampedRun(job, neighbourhood, rows, band.left, band.right, k);

    const int32_t innerWidth = inner.width();
    if (innerWidth > 0 && inner.bottom > inner.top) {
        const uint8_t* aboveRow = in.pixel(inner.left, inner.top);
        uint8_t* outRow = job.output->pixel(inner.left, inner.top);
        const int64_t inputAhead = std::min<int64_t>(int64_t(innerWidth + 2) * bytes, kPrefetchBytes);
        const int64_t outputAhead = std::min<int64_t>(int64_t(band.width()) * bytes, kPrefetchBytes);
        for (int32_t k = inner.top; k < inner.bottom; ++k) {
            // The rows are two frame rows apart, a jump the hardware does not
            // foresee: start fetching the next row's beginning now.
            if (k + 2 < in.rect.bottom)
                prefetch(in.pixel(inner.left - 1, k + 2), inputAhead);
            if (k + 1 < inner.bottom)
                prefetch(job.output->pixel(band.left, k + 1), outputAhead);
            clampedRun(job, neighbourhood, rows, band.left, inner.left, k);
            const uint8_t* above = aboveRow;
            const uint8_t* below = aboveRow + in.stride;
            uint8_t* out = outRow;
            const int32_t done = rows != nullptr ? rows(out, above, below, innerWidth) : 0;
            above += int64_t(done) * bytes;
            below += int64_t(done) * bytes;
            out += int64_t(done) * bytes;
            for (int32_t x = done; x < innerWidth; ++x, above += bytes, below += bytes, out += bytes)
                store(out, interpolateDirect(above, below));
            clampedRun(job, neighbourhood, rows, inner.right, band.right, k);
            aboveRow += in.stride;
            outRow += job.output->stride;
        }
    } else {
        for (int32_t k = inner.top; k < inner.bottom; ++k)
            clampedRun(job, neighbourhood, rows, band.left, band.right, k);
    }

    for (int32_t k = inner.bottom; k < band.bottom; ++k)
        clampedRun(job, neighbourhood, rows, band.left, band.right, k);
}
