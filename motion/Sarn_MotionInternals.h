// Small jobs around the motion field: clearing or seeding the delta slots,
// converting rows between the plain and the packed layout, and copying one
// motion component out into a float plane.
#pragma once

#include "motion/IGNC_Params.h"
#include "parallel/JobBinding.h"
#include "parallel/Sarn_Thread.h"
#include "parallel/Sarn_SetThreadCount.h"

#include <cstdint>
#include <cstring>

class IGNC_ParamsFastSobel;

// Packed layout of a block of 8 elements: field-major groups of four floats,
// elements 0, 2, 4, 6 in floats 0..35 and elements 1, 3, 5, 7 in 36..71.
constexpr int IGNC_PackedBlockFloats = 72;
constexpr int IGNC_PackedIndex(int element, int fieldIndex) {
    return (element & 1) * 36 + fieldIndex * 4 + (element >> 1);
}

// Reorders one row (round8(width) elements) into the packed layout, after
// filling the last block's elements past the width with copies of element
// width - 1.
void IGNC_PackRow(IGNC_ParamsFastElem* row, int32_t width);
// Reorders a packed row back: u, v from the packed totals in du, dv; du, dv
// zeroed; ix .. stepV unchanged.
void IGNC_UnpackRow(IGNC_ParamsFastElem* row, int32_t width);

// Elements [begin, end) of band `index` of `count` over [0, total).
struct IGNC_ElementRange {
    int64_t begin;
    int64_t end;
};
inline IGNC_ElementRange IGNC_BandElements(int32_t index, int32_t count, int64_t total) {
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

    // Where the sweeps start: du = dv = 0 for the scalar path, which iterates
    // increments, or du = u, dv = v for the vectorised path, which iterates
    // the total motion.
    template <class Env, class Policy, bool total>
    class StartDelta : public Env::Thread {
    public:
        StartDelta(PF_InData* inData, IGNC_ParamsFastElem* field, int64_t count)
            : Env::Thread(inData), field(field), count(count) {}
        void run(int index) override {
            const IGNC_ElementRange r = IGNC_BandElements(index, Sarn_GetThreadCount(), count);
            for (int64_t i = r.begin; i < r.end; ++i) {
                field[i].du = total ? field[i].u : 0.0f;
                field[i].dv = total ? field[i].v : 0.0f;
            }
        }
        IGNC_ParamsFastElem* field;
        int64_t count;
    };
    template <class Env, class Policy>
    using ResetDelta = StartDelta<Env, Policy, false>;
    template <class Env, class Policy>
    using ResetDeltaFast = StartDelta<Env, Policy, true>;

    // A band job converting each of its rows between the layouts.
    template <class Env, void (*convert)(IGNC_ParamsFastElem* row, int32_t width)>
    class EachRow : public Env::Thread {
    public:
        EachRow(PF_InData* inData, IGNC_ParamsFastElem* field, int32_t width, int32_t rows)
            : Env::Thread(inData), field(field), width(width), rows(rows) {}
        void run(int index) override {
            const BandRange band = bandRows(index, Sarn_GetThreadCount(), 0, rows);
            for (int32_t y = band.begin; y < band.end; ++y)
                convert(IGNC_Field::row(field, width, y), width);
        }
        IGNC_ParamsFastElem* field;
        int32_t width;
        int32_t rows;
    };
    template <class Env>
    using PackFast = EachRow<Env, IGNC_PackRow>;
    template <class Env>
    using UnpackFast = EachRow<Env, IGNC_UnpackRow>;
};
