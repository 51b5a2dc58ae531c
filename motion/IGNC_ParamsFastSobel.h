// The parameter policy of the IGNC solver: nine-float elements with Sobel
// gradients of the mean of the two images and a 3 x 3 box time difference.
#pragma once

#include "motion/IGNC_Params.h"
#include "parallel/JobBinding.h"
#include "parallel/Sarn_Thread.h"
#include "parallel/Sarn_SetThreadCount.h"

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

class IGNC_ParamsFastSobel {
public:
    using Element = IGNC_ParamsFastElem;

    // Fills ix, iy, it, stepU and stepV of every element x < width of its
    // rows from image A and the warped image B.
    template <class Env, class Image>
    class GradientThread : public Env::Thread {
        using Pixel = typename Image::Pixel;
        using Sample = typename Pixel::Type;
        // Integer images sum exactly in 32 bits; float images in single
        // precision from the samples themselves.
        using Sum = std::conditional_t<Pixel::isFloat, float, int32_t>;

    public:
        GradientThread(PF_InData* inData, IGNC_ParamsFastElem* field, const uint8_t* imageA,
                       const uint8_t* imageB, int32_t stride, int32_t width, int32_t rows,
                       float cD, float cS, float omega)
            : Env::Thread(inData), field(field), imageA(imageA), imageB(imageB), stride(stride),
              width(width), rows(rows), cD(cD), cS(cS), omega(omega) {}

        void run(int index) override {
            const BandRange band = bandRows(index, Sarn_GetThreadCount(), 0, rows);
            if (band.begin >= band.end)
                return;
            const float borderStep = omega / cS;
            // Per-column sums of the three rows, then per-element values in
            // plain arrays so that the divisions run vectorised.
            const size_t n = size_t(width > 0 ? width : 0);
            std::vector<Sum> weighted(n), diff(n), boxA(n), boxB(n);
            std::vector<float> ix(n), iy(n), it(n), stepU(n), stepV(n);
            for (int32_t y = band.begin; y < band.end; ++y) {
                IGNC_ParamsFastElem* out = IGNC_Field::row(field, width, y);
                if (y == 0 || y == rows - 1 || width < 3) {
                    for (int32_t x = 0; x < width; ++x)
                        setBorder(out[x], borderStep);
                    continue;
                }
                const uint8_t* a0 = rowOf(imageA, y - 1);
                const uint8_t* a1 = rowOf(imageA, y);
                const uint8_t* a2 = rowOf(imageA, y + 1);
                const uint8_t* b0 = rowOf(imageB, y - 1);
                const uint8_t* b1 = rowOf(imageB, y);
                const uint8_t* b2 = rowOf(imageB, y + 1);
                for (int32_t x = 0; x < width; ++x) {
                    const Sum sa0 = Sum(sample(a0, x)), sa1 = Sum(sample(a1, x)), sa2 = Sum(sample(a2, x));
                    const Sum sb0 = Sum(sample(b0, x)), sb1 = Sum(sample(b1, x)), sb2 = Sum(sample(b2, x));
                    const Sum s0 = sa0 + sb0, s1 = sa1 + sb1, s2 = sa2 + sb2;
                    weighted[x] = (s0 + Sum(2) * s1) + s2;
                    diff[x] = s2 - s0;
                    boxA[x] = (sa0 + sa1) + sa2;
                    boxB[x] = (sb0 + sb1) + sb2;
                }
                for (int32_t x = 1; x < width - 1; ++x) {
                    // Sobel of s = a + b over 16, box difference over 9;
                    // integer sums are exact, so only float images see the order.
                    ix[x] = float(weighted[x + 1] - weighted[x - 1]) / 16.0f;
                    iy[x] = float((diff[x - 1] + Sum(2) * diff[x]) + diff[x + 1]) / 16.0f;
                    it[x] = float(((boxB[x - 1] + boxB[x]) + boxB[x + 1]) -
                                  ((boxA[x - 1] + boxA[x]) + boxA[x + 1])) / 9.0f;
                }
                for (int32_t x = 1; x < width - 1; ++x) {
                    stepU[x] = omega / (cD * (ix[x] * ix[x]) + cS);
                    stepV[x] = omega / (cD * (iy[x] * iy[x]) + cS);
                }
                setBorder(out[0], borderStep);
                for (int32_t x = 1; x < width - 1; ++x) {
                    IGNC_ParamsFastElem& e = out[x];
                    e.ix = ix[x];
                    e.iy = iy[x];
                    e.it = it[x];
                    e.stepU = stepU[x];
                    e.stepV = stepV[x];
                }
                setBorder(out[width - 1], borderStep);
            }
        }

        IGNC_ParamsFastElem* field;
        const uint8_t* imageA;
        const uint8_t* imageB;
        int32_t stride; // bytes, shared by A and B
        int32_t width;
        int32_t rows;
        float cD; // lambdaD / sigmaD^2
        float cS; // 4 lambdaS / sigmaS^2
        float omega;

    private:
        const uint8_t* rowOf(const uint8_t* image, int32_t y) const {
            return image + int64_t(y) * stride;
        }
        static Sample sample(const uint8_t* row, int32_t x) {
            Sample v;
            std::memcpy(&v, row + int64_t(x) * Pixel::bytes, sizeof(Sample));
            return v;
        }
        static void setBorder(IGNC_ParamsFastElem& e, float step) {
            e.ix = e.iy = e.it = 0.0f;
            e.stepU = e.stepV = step;
        }
    };
};
