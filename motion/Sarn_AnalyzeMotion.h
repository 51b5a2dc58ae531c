// Dense motion analysis from luminance image A to luminance image B.
#pragma once

#include <cstdint>

class Sarn_AnalyzeMotion {
public:
    virtual ~Sarn_AnalyzeMotion() = default;

    // Images and buffers are passed as pointers to the pointer of their
    // first sample; thresholds tauD are in units of 1/255 of the luminance range.
    virtual void Analyze(int32_t iterations, int32_t passes, float coarsestScale, float finestScale,
                         float lambdaD, float lambdaS, float lambda3, float tauD0, float tauS0,
                         float tau30, float tauD1, float tauS1, float tau31, float omega,
                         uint8_t* const* imageA, uint8_t* const* imageB, uint8_t* const* pyramidA,
                         uint8_t* const* pyramidB, uint8_t* const* warpBuffer) = 0;

    virtual void Notify(uint32_t word) = 0;

    // Horizontal and vertical motion, width x height floats each, rows width apart.
    virtual void GetMotion(float* dstX, float* dstY) = 0;
};
