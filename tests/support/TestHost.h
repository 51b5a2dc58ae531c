// A small in-process host for unit tests of library code: a PF_InData whose
// utility callbacks give counted memory handles, the math callbacks and,
// optionally, a generic iteration on threads of its own. Fault injection: fail
// the Nth handle request, or make the iteration report a result code.
#pragma once

#include "sdk/AE_Effect.h"
#include "sdk/AE_EffectCB.h"

#include <atomic>
#include <cstdint>

class TestHost {
public:
    // workers == 0: no generic iteration (jobs use the fallback runner).
    explicit TestHost(int workers = 0);
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    PF_InData* inData() { return &inData_; }

    // Handles requested and not yet disposed, and handles still locked.
    int liveHandles() const { return liveHandles_.load(); }
    int lockedHandles() const { return lockedHandles_.load(); }
    int handlesRequested() const { return handlesRequested_.load(); }
    // The Nth request from now (1 = the next) returns null; 0 disables.
    void failHandleRequest(int n) { failHandleAt_ = n == 0 ? 0 : handlesRequested_.load() + n; }
    // The next generic iterations return `code` after running every band.
    void setIterationResult(PF_Err code) { iterationResult_ = code; }
    int iterationCalls() const { return iterationCalls_.load(); }

private:
    static PF_Handle newHandle(A_u_longlong size);
    static void* lockHandle(PF_Handle handle);
    static void unlockHandle(PF_Handle handle);
    static void disposeHandle(PF_Handle handle);
    static PF_Err iterateGeneric(A_long iterations, void* refcon, PF_IterateGenericFunc fn);

    PF_InData inData_{};
    PF_UtilCallbacks utils_{};
    int workers_;
    std::atomic<int> liveHandles_{0};
    std::atomic<int> lockedHandles_{0};
    std::atomic<int> handlesRequested_{0};
    std::atomic<int> iterationCalls_{0};
    int failHandleAt_ = 0;
    PF_Err iterationResult_ = PF_Err_NONE;
};
