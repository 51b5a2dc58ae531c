// Small jobs around the motion field: clearing or seeding the delta slots,
// converting rows between the plain and the packed layout, and copying one
// motion component out into a float plane.
#pragma once

#include "motion/IGNCParams.h"
#include "parallel/JobBinding.h"
#include "parallel/Sarn_Thread.h"
#include "parallel/Sarn_SetThreadCount.h"

#include <cstdint>
#include <cstring>

class IGNC_ParamsFastSobel;

// Packed layout of a block of 8 elements: field-major groups of four floats,
// elements 0, 2, 4, 6 in floats 0..35 and elements 1, 3, 5, 7 in 36..71.
constexpr int IGNC_packedBlockFloats = 72;
constexpr int IGNC_packedIndex(int element, int fieldIndex) {
    return (element & 1) * 36 + fieldIndex * 4 + (element >> 1);
}

// Reorders one row (round8(width) elements) into the packed layout, after
// filling the last block's elements past the width with copies of element
// width - 1.
void IGNC_packRow(IGNC_ParamsFastElem* row, int32_t width);
// Reorders a packed row back: u, v from the packed totals in du, dv; du, dv
// zeroed; ix .. stepV unchanged.
void IGNC_unpackRow(IGNC_ParamsFastElem* row, int32_t width);

// Elements [begin, end) of band `index` of `count` over [0, total).
struct IGNC_ElementRange {
    int64_t begin;
    int64_t end;
};
inline IGNC_ElementRange IGNC_bandElements(int32_t index, int32_t count, int64_t total) {
    return IGNC_ElementRange{(int64_t(index) * total) / count, (int64_t(index + 1) * total) / count};
}

struct Sarn_MotionInternals {
    // Copies one float channel of the field (u at the field start, v 4 bytes
    // further) into a plane, dropping the padding elements.
    template <class Env, class Params>
    class CopyParamToArray : public Env::Thread {
    public:
        CopyParamToArray(PF_InData* inData, float* destination, const uint8_t* sourceChannel,
                         int32_t width, int32_t rows, int32_t destinationStride,
                         int32_t sourceStride)
            : Env::Thread(inData), destination(destination), sourceChannel(sourceChannel),
              width(width), rows(rows), destinationStride(destinationStride),
              sourceStride(sourceStride) {}

        void run(int index) override {
            const BandRange band = bandRows(index, Sarn_GetThreadCount(), 0, rows);
            constexpr int64_t elementBytes = sizeof(typename Params::Element);
            for (int32_t y = band.begin; y < band.end; ++y) {
                float* dst = destination + int64_t(y) * destinationStride;
                const uint8_t* src = sourceChannel + int64_t(y) * sourceStride * elementBytes;
                for (int32_t x = 0; x < width; ++x)
                    std::memcpy(dst + x, src + x * elementBytes, sizeof(float));
            }
        }

        float* destination;
        const uint8_t* sourceChannel;
        int32_t width;
        int32_t rows;
        int32_t destinationStride; // floats
        int32_t sourceStride;      // elements
    };

    // du = dv = 0: the scalar path iterates increments.
    template <class Env, class Policy>
    class ResetDelta : public Env::Thread {
    public:
        ResetDelta(PF_InData* inData, IGNC_ParamsFastElem* field, int64_t count)
            : Env::Thread(inData), field(field), count(count) {}
        void run(int index) override {
            const IGNC_ElementRange r = IGNC_bandElements(index, Sarn_GetThreadCount(), count);
            for (int64_t i = r.begin; i < r.end; ++i) {
                field[i].du = 0.0f;
                field[i].dv = 0.0f;
            }
        }
        IGNC_ParamsFastElem* field;
        int64_t count;
    };

    // du = u, dv = v: the vectorised path iterates the total motion.
    template <class Env, class Policy>
    class ResetDeltaFast : public Env::Thread {
    public:
        ResetDeltaFast(PF_InData* inData, IGNC_ParamsFastElem* field, int64_t count)
            : Env::Thread(inData), field(field), count(count) {}
        void run(int index) override {
            const IGNC_ElementRange r = IGNC_bandElements(index, Sarn_GetThreadCount(), count);
            for (int64_t i = r.begin; i < r.end; ++i) {
                field[i].du = field[i].u;
                field[i].dv = field[i].v;
            }
        }
        IGNC_ParamsFastElem* field;
        int64_t count;
    };

    template <class Env>
    class PackFast : public Env::Thread {
    public:
        PackFast(PF_InData* inData, IGNC_ParamsFastElem* field, int32_t width, int32_t rows)
            : Env::Thread(inData), field(field), width(width), rows(rows) {}
        void run(int index) override {
            const BandRange band = bandRows(index, Sarn_GetThreadCount(), 0, rows);
            for (int32_t y = band.begin; y < band.end; ++y)
                IGNC_packRow(IGNC_Field::row(field, width, y), width);
        }
        IGNC_ParamsFastElem* field;
        int32_t width;
        int32_t rows;
    };

    template <class Env>
    class UnpackFast : public Env::Thread {
    public:
        UnpackFast(PF_InData* inData, IGNC_ParamsFastElem* field, int32_t width, int32_t rows)
            : Env::Thread(inData), field(field), width(width), rows(rows) {}
        void run(int index) override {
            const BandRange band = bandRows(index, Sarn_GetThreadCount(), 0, rows);
            for (int32_t y = band.begin; y < band.end; ++y)
                IGNC_unpackRow(IGNC_Field::row(field, width, y), width);
        }
        IGNC_ParamsFastElem* field;
        int32_t width;
        int32_t rows;
    };
};
