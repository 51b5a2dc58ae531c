// Processor identification and the operating system's support for vector
// state, one implementation per processor family.
#pragma once

#include "parallel/ProcessorFeatures.h"

#include <cstdint>

namespace Kel::Platform {

struct CpuIdWords {
    bool hasCpuId;
    uint32_t standardEdx;
    uint32_t standardEcx;
    uint32_t extendedEdx;
};

CpuIdWords readCpuId();

// True when executing an SSE instruction does not fault on this system.
bool osExecutesSse();

#if defined(_WIN32) && defined(__i386__)
// Calls `probe` under a structured exception handler that accepts every
// exception: false when the probe faulted (it is then abandoned where it
// faulted), true when it returned.
bool runsWithoutFault(void (*probe)());
#endif

SimdLevel detectSimdLevel();

} // namespace Kel::Platform
