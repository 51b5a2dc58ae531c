// Whether the system executes SSE instructions, asked of Windows.
#include "parallel/platform/PlatformCpu.h"

#include <windows.h>

#include <cstddef>

namespace Kel::Platform {

#if defined(__x86_64__)
// The 64-bit ABI requires SSE: every x86-64 system saves its state.
bool osExecutesSse() { return true; }
#else

namespace {

// An x86 exception registration record, extended by where to resume when the
// probe faults. The record lives on the probing thread's stack, as the system
// requires.
struct ProbeFrame {
    ProbeFrame* next;
    void* handler;
    uint32_t resumeEip;
    uint32_t resumeEsp;
};
static_assert(offsetof(ProbeFrame, resumeEip) == 8 && offsetof(ProbeFrame, resumeEsp) == 12);

EXCEPTION_DISPOSITION __cdecl probeHandler(EXCEPTION_RECORD* record, void* frame,
                                       CONTEXT* context, void*) {
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0)
        return ExceptionContinueSearch;
    const ProbeFrame* probe = static_cast<const ProbeFrame*>(frame);
    context->Eip = probe->resumeEip;
    context->Esp = probe->resumeEsp;
    return ExceptionContinueExecution;
}

void orpsProbe() { __asm__ volatile("orps %%xmm0, %%xmm0" ::: "memory"); }

} // namespace

bool runsWithoutFault(void (*probe)()) {
    ProbeFrame frame{nullptr, reinterpret_cast<void*>(&probeHandler), 0, 0};
    ProbeFrame* framePointer = &frame;
    int returned;
    // The callee-saved registers and the frame's address go on the stack
    // before the call; resuming after a fault restores the stack pointer to
    // that point, so both paths unlink the frame and pop them alike.
    __asm__ volatile("pushl %%ebp\n\t"
                     "pushl %%ebx\n\t"
                     "pushl %%esi\n\t"
                     "pushl %%edi\n\t"
                     "pushl %%edx\n\t"
                     "movl %%esp, 12(%%edx)\n\t"
                     "movl $1f, 8(%%edx)\n\t"
                     "movl %%fs:0, %%eax\n\t"
                     "movl %%eax, (%%edx)\n\t"
                     "movl %%edx, %%fs:0\n\t"
                     "call *%%ecx\n\t"
                     "movl $1, %%eax\n\t"
                     "jmp 2f\n"
                     "1:\n\t"
                     "xorl %%eax, %%eax\n"
                     "2:\n\t"
                     "popl %%edx\n\t"
                     "movl (%%edx), %%ecx\n\t"
                     "movl %%ecx, %%fs:0\n\t"
                     "popl %%edi\n\t"
                     "popl %%esi\n\t"
                     "popl %%ebx\n\t"
                     "popl %%ebp"
                     : "=a"(returned), "+c"(probe), "+d"(framePointer)
                     :
                     : "memory", "cc");
    return returned != 0;
}

bool osExecutesSse() { return runsWithoutFault(orpsProbe); }

#endif

} // namespace Kel::Platform
