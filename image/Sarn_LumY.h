// Luminance of VUYA frames: the Y channel itself, copied sample for sample
// into a one-channel view of the same depth. (The weighted mix of Sarn_Lum
// would be nine tenths chroma on such frames.)
#pragma once

#include "image/Sarn_Pixel.h"
#include "parallel/JobBinding.h"
#include "parallel/Sarn_Thread.h"
#include "parallel/Sarn_SetThreadCount.h"

#include <cstdint>
#include <type_traits>

template <class Environ, class Source, class Destination>
class Sarn_LumY : public Environ::Thread {
public:
    using SourcePixel = typename Source::Pixel;
    using DestinationPixel = typename Destination::Pixel;
    static_assert(SourcePixel::channels == 4 && DestinationPixel::channels == 1);
    static_assert(std::is_same_v<typename SourcePixel::Type, typename DestinationPixel::Type>);

    // V, U, Y, A in memory: Y is channel 2.
    static constexpr int yChannel = 2;

    Sarn_LumY(PF_InData* inData, Source source, Destination destination, const Sarn_Rect* rect)
        : Environ::Thread(inData), source(source.data), destination(destination.data),
          sourceStride(source.stride), destinationStride(destination.stride), rect(rect) {}

    void run(int index) override {
        const BandRange rows = bandRows(index, Sarn_GetThreadCount(), rect->y0, rect->y1);
        using Type = typename SourcePixel::Type;
        for (int32_t y = rows.begin; y < rows.end; ++y) {
            const Type* in = reinterpret_cast<const Type*>(source + int64_t(y) * sourceStride) + 4 * int64_t(rect->x0);
            Type* out = reinterpret_cast<Type*>(destination + int64_t(y) * destinationStride) + rect->x0;
            const int32_t width = rect->x1 - rect->x0;
            for (int32_t x = 0; x < width; ++x)
                out[x] = in[4 * int64_t(x) + yChannel];
        }
    }

    uint8_t* source;
    uint8_t* destination;
    int32_t sourceStride;
    int32_t destinationStride;
    const Sarn_Rect* rect;
};

using Sarn_LumY8 = Sarn_LumY<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_PixelPtr<Sarn_Lum8>>;
using Sarn_LumY16 = Sarn_LumY<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_PixelPtr<Sarn_Lum16>>;
using Sarn_LumYF = Sarn_LumY<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_PixelPtr<Sarn_LumF>>;

extern template class Sarn_LumY<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_PixelPtr<Sarn_Lum8>>;
extern template class Sarn_LumY<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_PixelPtr<Sarn_Lum16>>;
extern template class Sarn_LumY<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_PixelPtr<Sarn_LumF>>;
