// The parameter policy of the IGNC solver: nine-float elements with Sobel
// gradients of the mean of the two images and a 3 x 3 box time difference.
#pragma once

#include "motion/IGNCParams.h"
#include "parallel/JobBinding.h"
#include "parallel/SarnThread.h"
#include "parallel/ThreadCount.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

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
            const float borderStep = omega / cS;
            for (int32_t y = band.begin; y < band.end; ++y) {
                IGNC_ParamsFastElem* out = IGNC_Field::row(field, width, y);
                if (y == 0 || y == rows - 1) {
                    for (int32_t x = 0; x < width; ++x)
                        setBorder(out[x], borderStep);
                    continue;
                }
                const uint8_t* a[3] = {rowOf(imageA, y - 1), rowOf(imageA, y), rowOf(imageA, y + 1)};
                const uint8_t* b[3] = {rowOf(imageB, y - 1), rowOf(imageB, y), rowOf(imageB, y + 1)};
                setBorder(out[0], borderStep);
                for (int32_t x = 1; x < width - 1; ++x) {
                    auto s = [&](int dx, int r) {
                        return Sum(sample(a[r], x + dx)) + Sum(sample(b[r], x + dx));
                    };
                    const Sum sobelX = s(1, 0) + Sum(2) * s(1, 1) + s(1, 2) - s(-1, 0) -
                                       Sum(2) * s(-1, 1) - s(-1, 2);
                    const Sum sobelY = s(-1, 2) + Sum(2) * s(0, 2) + s(1, 2) - s(-1, 0) -
                                       Sum(2) * s(0, 0) - s(1, 0);
                    Sum boxA = Sum(0), boxB = Sum(0);
                    for (int r = 0; r < 3; ++r)
                        for (int dx = -1; dx <= 1; ++dx) {
                            boxA = boxA + Sum(sample(a[r], x + dx));
                            boxB = boxB + Sum(sample(b[r], x + dx));
                        }
                    IGNC_ParamsFastElem& e = out[x];
                    e.ix = float(sobelX) / 16.0f;
                    e.iy = float(sobelY) / 16.0f;
                    e.it = float(boxB - boxA) / 9.0f;
                    e.stepU = omega / (cD * (e.ix * e.ix) + cS);
                    e.stepV = omega / (cD * (e.iy * e.iy) + cS);
                }
                if (width > 1)
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
