// Luminance extraction: a four-channel colour view into a one-channel view of
// the same depth, L = (3 c1 + 6 c2 + c3) / 10 over the order's colour channels.
#pragma once

#include "image/Sarn_Pixel.h"
#include "parallel/JobBinding.h"
#include "parallel/Sarn_Thread.h"
#include "parallel/Sarn_SetThreadCount.h"

#include <cstdint>

template <class Environ, class Source, class Destination, class Order>
class Sarn_Lum : public Environ::Thread {
public:
    using SourcePixel = typename Source::Pixel;
    using DestinationPixel = typename Destination::Pixel;
    static_assert(SourcePixel::channels == 4 && DestinationPixel::channels == 1);
    static_assert(SourcePixel::isFloat == DestinationPixel::isFloat);

    Sarn_Lum(PF_InData* inData, Source source, Destination destination, const Sarn_Rect* rect)
        : Environ::Thread(inData), source(source.data), destination(destination.data),
          sourceStride(source.stride), destinationStride(destination.stride), rect(rect) {}

    void run(int index) override {
        const BandRange rows = bandRows(index, Sarn_GetThreadCount(), rect->y0, rect->y1);
        for (int32_t y = rows.begin; y < rows.end; ++y)
            extractRow(source + int64_t(y) * sourceStride,
                       destination + int64_t(y) * destinationStride);
    }

    uint8_t* source;
    uint8_t* destination;
    int32_t sourceStride;
    int32_t destinationStride;
    const Sarn_Rect* rect;

private:
    using SourceType = typename SourcePixel::Type;
    using DestinationType = typename DestinationPixel::Type;

    void extractRow(const uint8_t* sourceRow, uint8_t* destinationRow) const {
        const SourceType* in = reinterpret_cast<const SourceType*>(sourceRow) + 4 * int64_t(rect->x0);
        DestinationType* out = reinterpret_cast<DestinationType*>(destinationRow) + rect->x0;
        const int32_t width = rect->x1 - rect->x0;
        for (int32_t x = 0; x < width; ++x, in += 4) {
            const float c1 = float(in[Order::c1]);
            const float c2 = float(in[Order::c2]);
            const float c3 = float(in[Order::c3]);
            const float l = (3.0f * c1 + 6.0f * c2 + c3) / 10.0f;
            if constexpr (DestinationPixel::isFloat)
                out[x] = l;
            else
                // The weights sum to 10, so l stays within [0, full scale].
                out[x] = DestinationType(int32_t(l + 0.5f));
        }
    }
};

using Sarn_Lum8ARGB = Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_PixelPtr<Sarn_Lum8>, Sarn_OrderARGB>;
using Sarn_Lum8RGBA = Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_PixelPtr<Sarn_Lum8>, Sarn_OrderRGBA>;
using Sarn_Lum16ARGB = Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_PixelPtr<Sarn_Lum16>, Sarn_OrderARGB>;
using Sarn_Lum16RGBA = Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_PixelPtr<Sarn_Lum16>, Sarn_OrderRGBA>;
using Sarn_LumFARGB = Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_PixelPtr<Sarn_LumF>, Sarn_OrderARGB>;
using Sarn_LumFRGBA = Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_PixelPtr<Sarn_LumF>, Sarn_OrderRGBA>;

extern template class Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_PixelPtr<Sarn_Lum8>, Sarn_OrderARGB>;
extern template class Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_PixelPtr<Sarn_Lum8>, Sarn_OrderRGBA>;
extern template class Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_PixelPtr<Sarn_Lum16>, Sarn_OrderARGB>;
extern template class Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_PixelPtr<Sarn_Lum16>, Sarn_OrderRGBA>;
extern template class Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_PixelPtr<Sarn_LumF>, Sarn_OrderARGB>;
extern template class Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_PixelPtr<Sarn_LumF>, Sarn_OrderRGBA>;
