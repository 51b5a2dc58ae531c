// A 16-byte aligned motion field for the motion tests, with plain accessors.
#pragma once

#include "motion/IGNC_Params.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

class MotionTestField {
public:
    MotionTestField(int32_t width, int32_t rows)
        : width(width), rows(rows), columns(IGNC_Field::rowElements(width)),
          count(size_t(IGNC_Field::elementCount(width, rows))),
          data_(static_cast<IGNC_ParamsFastElem*>(::operator new[](
                    (count ? count : 1) * sizeof(IGNC_ParamsFastElem), std::align_val_t(16))),
                Free{}) {
        std::memset(data_.get(), 0, count * sizeof(IGNC_ParamsFastElem));
    }
    IGNC_ParamsFastElem* data() { return data_.get(); }
    IGNC_ParamsFastElem& at(int32_t x, int32_t y) { return data_[size_t(y) * columns + x]; }
    float* floats() { return reinterpret_cast<float*>(data_.get()); }
    size_t bytes() const { return count * sizeof(IGNC_ParamsFastElem); }

    const int32_t width, rows, columns;
    const size_t count;

private:
    struct Free {
        void operator()(IGNC_ParamsFastElem* p) const { ::operator delete[](p, std::align_val_t(16)); }
    };
    std::unique_ptr<IGNC_ParamsFastElem[], Free> data_;
};
