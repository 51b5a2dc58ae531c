// Band functions and the binding through which both library jobs and the
// kernel dispatch hand an object's band method to the job runner.
#pragma once

#include <cstdint>

// (index, count, threadIndex, refcon): band `index` of `count`, run on worker
// `threadIndex` (0 on the calling thread).
using BandFunction = void (*)(int32_t index, int32_t count, int32_t threadIndex, void* refcon);

struct JobBinding {
    void* object;
    void (*method)(void* object, int32_t index, int32_t count, int32_t threadIndex);
};

// The shared band function: `refcon` is a JobBinding.
void dispatchBand(int32_t index, int32_t count, int32_t threadIndex, void* refcon);

// Binds a member function `Method` of `T` taking (index, count, threadIndex).
template <class T, void (T::*Method)(int32_t, int32_t, int32_t) const>
JobBinding bindJob(const T* object) {
    return JobBinding{const_cast<T*>(object), [](void* o, int32_t index, int32_t count,
                                                 int32_t threadIndex) {
                          (static_cast<const T*>(o)->*Method)(index, count, threadIndex);
                      }};
}

// Rows of band `index` of `count` over [top, bottom): the library jobs' rule,
// signed 32-bit division truncating towards zero. Products are formed in 64 bits
// so that tall images cannot overflow.
struct BandRange {
    int32_t begin;
    int32_t end;
};
inline BandRange bandRows(int32_t index, int32_t count, int32_t top, int32_t bottom) {
    const int64_t h = int64_t(bottom) - top;
    return BandRange{int32_t(top + (int64_t(index) * h) / count),
                     int32_t(top + (int64_t(index + 1) * h) / count)};
}
