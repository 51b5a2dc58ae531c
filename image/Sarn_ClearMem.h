// Zeroes a block of memory in parallel, band `index` taking the byte range
// [index * n / N, (index + 1) * n / N).
#pragma once

#include "parallel/Sarn_Thread.h"
#include "parallel/Sarn_SetThreadCount.h"

#include <cstdint>
#include <cstring>

template <class Environ>
class Sarn_ClearMem : public Environ::Thread {
public:
    // The byte count is 64-bit so that a large motion field cannot wrap.
    Sarn_ClearMem(PF_InData* inData, void* memory, uint64_t bytes)
        : Environ::Thread(inData), memory(static_cast<uint8_t*>(memory)), bytes(bytes) {}

    void run(int index) override {
        const uint64_t count = uint64_t(Sarn_GetThreadCount());
        // floor(n * index / N) split as q * index + r * index / N: no 64-bit overflow.
        const uint64_t begin = bytes / count * uint64_t(index) + bytes % count * uint64_t(index) / count;
        const uint64_t end = bytes / count * uint64_t(index + 1) + bytes % count * uint64_t(index + 1) / count;
        if (end > begin)
            std::memset(memory + begin, 0, size_t(end - begin));
    }

    uint8_t* memory;
    uint64_t bytes;
};

extern template class Sarn_ClearMem<Sarn_AE_Environ>;
