#include "tests/support/TestHost.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// The callbacks carry no refcon, so the host that answers them is the one
// most recently built on this process (tests build one at a time).
TestHost* current = nullptr;

struct HandleBlock {
    void* data; // first: a PF_Handle points here
    TestHost* owner;
    bool locked;
};

double ansiSqrt(double x) { return std::sqrt(x); }
double ansiFloor(double x) { return std::floor(x); }
double ansiCeil(double x) { return std::ceil(x); }
double ansiPow(double x, double y) { return std::pow(x, y); }
char* ansiStrcpy(char* d, const char* s) { return std::strcpy(d, s); }

} // namespace

TestHost::TestHost(int workers) : workers_(workers) {
    current = this;
    utils_.host_new_handle = newHandle;
    utils_.host_lock_handle = lockHandle;
    utils_.host_unlock_handle = unlockHandle;
    utils_.host_dispose_handle = disposeHandle;
    utils_.ansi.sqrt = ansiSqrt;
    utils_.ansi.floor = ansiFloor;
    utils_.ansi.ceil = ansiCeil;
    utils_.ansi.pow = ansiPow;
    utils_.ansi.strcpy = ansiStrcpy;
    if (workers > 0)
        utils_.iterate_generic = iterateGeneric;
    inData_.utils = &utils_;
    inData_.version.major = 13;
    inData_.version.minor = 28;
    inData_.appl_id = PF_FOURCC_LE('F', 'X', 'T', 'C');
    inData_.time_step = 1;
    inData_.time_scale = 25;
    inData_.downsample_x = {1, 1};
    inData_.downsample_y = {1, 1};
}

TestHost::~TestHost() {
    if (current == this)
        current = nullptr;
}

PF_Handle TestHost::newHandle(A_u_longlong size) {
    TestHost* host = current;
    const int n = ++host->handlesRequested_;
    if (host->failHandleAt_ != 0 && n == host->failHandleAt_)
        return nullptr;
    HandleBlock* block = static_cast<HandleBlock*>(std::malloc(sizeof(HandleBlock)));
    if (block == nullptr)
        return nullptr;
    block->data = std::malloc(size == 0 ? 1 : size_t(size));
    if (block->data == nullptr) {
        std::free(block);
        return nullptr;
    }
    block->owner = host;
    block->locked = false;
    ++host->liveHandles_;
    return &block->data;
}

void* TestHost::lockHandle(PF_Handle handle) {
    HandleBlock* block = reinterpret_cast<HandleBlock*>(handle);
    if (!block->locked) {
        block->locked = true;
        ++block->owner->lockedHandles_;
    }
    return block->data;
}

void TestHost::unlockHandle(PF_Handle handle) {
    HandleBlock* block = reinterpret_cast<HandleBlock*>(handle);
    if (block->locked) {
        block->locked = false;
        --block->owner->lockedHandles_;
    }
}

void TestHost::disposeHandle(PF_Handle handle) {
    HandleBlock* block = reinterpret_cast<HandleBlock*>(handle);
    if (block->locked)
        --block->owner->lockedHandles_;
    --block->owner->liveHandles_;
    std::free(block->data);
    std::free(block);
}

PF_Err TestHost::iterateGeneric(A_long iterations, void* refcon, PF_IterateGenericFunc fn) {
    TestHost* host = current;
    ++host->iterationCalls_;
    const int workers = host->workers_;
    if (iterations < 0)
        iterations = workers;
    // Worker t runs iterations t, t + workers, ...; the calling thread is worker 0.
    std::vector<PF_Err> results(size_t(workers), PF_Err_NONE);
    auto work = [&](int t) {
        for (A_long i = t; i < iterations; i += workers) {
            const PF_Err e = fn(refcon, t, i, iterations);
            if (e != PF_Err_NONE && results[size_t(t)] == PF_Err_NONE)
                results[size_t(t)] = e;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < workers; ++t)
        threads.emplace_back(work, t);
    work(0);
    for (std::thread& t : threads)
        t.join();
    for (PF_Err e : results)
        if (e != PF_Err_NONE)
            return e;
    return host->iterationResult_;
}
