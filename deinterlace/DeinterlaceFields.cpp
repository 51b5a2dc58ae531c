#include "deinterlace/DeinterlaceFields.h"

#include "deinterlace/FieldJob.h"
#include "deinterlace/FieldMedianKernel.h"
#include "deinterlace/FieldView.h"
#include "image/ViewOfWorld.h"
#include "parallel/JobBinding.h"

template <class Pixel, class Order>
void DeinterlaceFields(AEHost& host, const ViewRect& area, const PF_EffectWorld& output,
                       const PF_EffectWorld& input, int32_t keptField) {
    using Kernel = FieldMedianKernel<Pixel, Order>;
    constexpr int bytes = Pixel::bytes;

    const ImageView<bytes> outputView = viewOfWorld<bytes>(host, output);
    const ImageView<bytes> inputView = viewOfWorld<bytes>(host, input);
    if (outputView.data == nullptr)
        return;
    ViewRect clipped = area;
    intersectRect(clipped, outputView.rect);
    if (clipped.isEmpty())
        return;

    const int32_t keptParity = keptParityOf(keptField);
    const ImageView<bytes> outputField = rebuiltFieldView(outputView, clipped, 1 - keptParity);
    const ImageView<bytes> inputField = keptFieldView(inputView, keptParity);

    const FieldJob<bytes> job{outputField.rect, &host, &outputField, &inputField};
    JobBinding binding{const_cast<FieldJob<bytes>*>(&job), &Kernel::band};
    host.thread(dispatchBand, &binding, 0);
}

template void DeinterlaceFields<Sarn_Pixel8, Sarn_OrderARGB>(AEHost&, const ViewRect&,
                                                             const PF_EffectWorld&,
                                                             const PF_EffectWorld&, int32_t);
template void DeinterlaceFields<Sarn_Pixel16, Sarn_OrderARGB>(AEHost&, const ViewRect&,
                                                              const PF_EffectWorld&,
                                                              const PF_EffectWorld&, int32_t);
template void DeinterlaceFields<Sarn_PixelF, Sarn_OrderARGB>(AEHost&, const ViewRect&,
                                                             const PF_EffectWorld&,
                                                             const PF_EffectWorld&, int32_t);
template void DeinterlaceFields<Sarn_Pixel8, Sarn_OrderRGBA>(AEHost&, const ViewRect&,
                                                             const PF_EffectWorld&,
                                                             const PF_EffectWorld&, int32_t);
template void DeinterlaceFields<Sarn_Pixel16, Sarn_OrderRGBA>(AEHost&, const ViewRect&,
                                                              const PF_EffectWorld&,
                                                              const PF_EffectWorld&, int32_t);
template void DeinterlaceFields<Sarn_PixelF, Sarn_OrderRGBA>(AEHost&, const ViewRect&,
                                                             const PF_EffectWorld&,
                                                             const PF_EffectWorld&, int32_t);
