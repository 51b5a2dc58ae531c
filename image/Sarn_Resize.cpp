#include "image/Sarn_Resize.h"

Sarn_ResizeAxis::Sarn_ResizeAxis(PF_InData* inData, int32_t srcLength, int32_t dstLength,
                                 float support, float axisScale, uint64_t extraBytes)
    : hostFloor(inData->utils->ansi.floor) {
    step = float(srcLength - 1) / float(dstLength - 1);
    // When shrinking, the kernel is stretched by the step.
    const float m = std::max(step, 1.0f);
    kernelScale = support * m;
    kernelOffset = -0.5f * m * std::max(4.0f * support, 1.0f);
    taps = tapsFor(inData, srcLength, dstLength, support);

    memory = HostBuffer(inData, uint64_t(Sarn_Resize_Funcs::phases) * uint64_t(taps) * sizeof(float) + extraBytes);
    table = memory.as<float>();

    for (int32_t p = 0; p < Sarn_Resize_Funcs::phases; ++p) {
        const float d = p == 0 ? 0.0f : float(p) / 256.0f - 1.0f;
        float* w = table + int64_t(p) * taps;
        int32_t count = 0;
        for (int32_t j = 0; j < taps; ++j) {
            w[j] = Sarn_Resize_Funcs::kernel((float(j) - d + kernelOffset) / kernelScale);
            if (w[j] != 0.0f)
                count = j + 1;
        }
        if (count <= 1) {
            count = 1;
            w[0] = 1.0f;
        }
        for (int32_t j = count; j < taps; ++j)
            w[j] = 0.0f;
        float sum = 0.0f;
        for (int32_t j = 0; j < count; ++j)
            sum += w[j];
        const float factor = axisScale / sum;
        for (int32_t j = 0; j < count; ++j)
            w[j] *= factor;
        tapCount[p] = count;
    }
}

int32_t Sarn_ResizeAxis::tapsFor(PF_InData* inData, int32_t srcLength, int32_t dstLength, float support) {
    const float step = float(srcLength - 1) / float(dstLength - 1);
    return std::max(int32_t(inData->utils->ansi.ceil(double(4.0f * support * std::max(step, 1.0f)))), int32_t(1));
}

Sarn_ResizePosition Sarn_ResizeAxis::start(int32_t t) const {
    const float position = float(t) * step + kernelOffset;
    const float first = float(hostFloor(double(position + Sarn_Resize_Funcs::firstTapBias)));
    float fraction = position - first;
    if (fraction < 0.0f)
        fraction += 1.0f;
    return Sarn_ResizePosition{int32_t(first), fraction, Sarn_Resize_Funcs::phaseOf(fraction)};
}

template class Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum8>, Sarn_Resize_Funcs>;
template class Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum16>, Sarn_Resize_Funcs>;
template class Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>, Sarn_Resize_Funcs>;
template class Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_MotionOne>, Sarn_Resize_Funcs>;
template class Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_MotionOne>, Sarn_Resize_Funcs,
                           Sarn_PixelPtr<Sarn_LumF>>;
template class Sarn_Resize<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>, Sarn_Resize_Funcs,
                           Sarn_PixelPtr<Sarn_MotionOne>>;
