// Whether the system executes SSE instructions, asked of a POSIX system.
#include "parallel/platform/PlatformCpu.h"

#if defined(__i386__)
#include <csetjmp>
#include <csignal>
#endif

namespace Kel::Platform {

#if defined(__x86_64__)
// The 64-bit ABI requires SSE: every x86-64 system saves its state.
bool osExecutesSse() { return true; }
#elif defined(__i386__)
namespace {
sigjmp_buf probeJump;
void onIllegal(int) { siglongjmp(probeJump, 1); }
} // namespace

bool osExecutesSse() {
    struct sigaction action = {}, previous = {};
    action.sa_handler = onIllegal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGILL, &action, &previous);
    bool ok = false;
    if (sigsetjmp(probeJump, 1) == 0) {
        __asm__ volatile("orps %%xmm0, %%xmm0" ::: "xmm0");
        ok = true;
    }
    sigaction(SIGILL, &previous, nullptr);
    return ok;
}
#else
bool osExecutesSse() { return false; }
#endif

} // namespace Kel::Platform
