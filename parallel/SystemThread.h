// The fallback job runner: threads of our own, started for one run and joined
// before it returns, for hosts that offer no generic iteration.
#pragma once

#include "parallel/JobBinding.h"

#include <cstdint>

namespace Kel::Host::System {

class Thread {
public:
    // Runs bandFunction(index, count, index, refcon) for every band on a thread
    // of its own (count 0: one band per processor). Worker exit codes: 0 done,
    // 1 std::bad_alloc, 2 Kel::Interrupted, 3 anything else; the last failing
    // worker in index order decides what is rethrown.
    void thread(BandFunction bandFunction, void* refcon, int32_t count);

private:
    int32_t processorCount_ = 0; // 0 until first asked
};

} // namespace Kel::Host::System
