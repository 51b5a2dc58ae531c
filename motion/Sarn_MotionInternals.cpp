#include "motion/Sarn_MotionInternals.h"

namespace {

constexpr int kFloats = IGNC_Field::floatsPerElement;

void packBlock(float* block) {
    float plain[IGNC_PackedBlockFloats];
    std::memcpy(plain, block, sizeof(plain));
    for (int e = 0; e < 8; ++e)
        for (int f = 0; f < kFloats; ++f)
            block[IGNC_PackedIndex(e, f)] = plain[e * kFloats + f];
}

void unpackBlock(float* block) {
    float packed[IGNC_PackedBlockFloats];
    std::memcpy(packed, block, sizeof(packed));
    for (int e = 0; e < 8; ++e) {
        float* out = block + e * kFloats;
        out[0] = packed[IGNC_PackedIndex(e, 2)];
        out[1] = packed[IGNC_PackedIndex(e, 3)];
        out[2] = 0.0f;
        out[3] = 0.0f;
        for (int f = 4; f < kFloats; ++f)
            out[f] = packed[IGNC_PackedIndex(e, f)];
    }
}

} // namespace

void IGNC_PackRow(IGNC_ParamsFastElem* row, int32_t width) {
    const int32_t columns = IGNC_Field::rowElements(width);
    for (int32_t x = width; x < columns; ++x)
        row[x] = row[width - 1];
    float* data = reinterpret_cast<float*>(row);
    for (int32_t b = 0; b < columns / 8; ++b)
        packBlock(data + int64_t(b) * IGNC_PackedBlockFloats);
}

void IGNC_UnpackRow(IGNC_ParamsFastElem* row, int32_t width) {
    const int32_t columns = IGNC_Field::rowElements(width);
    float* data = reinterpret_cast<float*>(row);
    for (int32_t b = 0; b < columns / 8; ++b)
        unpackBlock(data + int64_t(b) * IGNC_PackedBlockFloats);
}
