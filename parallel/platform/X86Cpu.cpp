// x86 processor identification through the compiler's intrinsics, the same
// on every system; whether the system runs SSE is asked in Posix/WinSseProbe.
#include "parallel/platform/PlatformCpu.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace Kel::Platform {

#if defined(__x86_64__) || defined(__i386__)

CpuIdWords readCpuId() {
    CpuIdWords words{false, 0, 0, 0};
    // __get_cpuid_max performs the ID-flag test on 32-bit and returns 0
    // when the instruction is missing.
    if (__get_cpuid_max(0, nullptr) == 0)
        return words;
    words.hasCpuId = true;
    unsigned eax, ebx, ecx, edx;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        words.standardEdx = edx;
        words.standardEcx = ecx;
    }
    const unsigned maxExtended = __get_cpuid_max(0x80000000u, nullptr);
    if (maxExtended > 0x80000000u && __get_cpuid(0x80000001u, &eax, &ebx, &ecx, &edx))
        words.extendedEdx = edx;
    return words;
}

SimdLevel detectSimdLevel() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq"))
        return SimdLevel::AVX512;
    if (__builtin_cpu_supports("avx2"))
        return SimdLevel::AVX2;
    if (__builtin_cpu_supports("sse2"))
        return SimdLevel::SSE2;
    return SimdLevel::Scalar;
}

#else

CpuIdWords readCpuId() { return CpuIdWords{false, 0, 0, 0}; }
SimdLevel detectSimdLevel() { return SimdLevel::Scalar; }

#endif

} // namespace Kel::Platform
