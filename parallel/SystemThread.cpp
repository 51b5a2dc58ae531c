#include "parallel/SystemThread.h"

#include "parallel/KelException.h"
#include "parallel/platform/PlatformThread.h"

#include <new>

namespace Kel::Host::System {

namespace {

struct alignas(16) WorkerRecord {
    Platform::ThreadHandle handle;
    BandFunction bandFunction;
    void* refcon;
    int32_t index;
    int32_t count;
};

enum : uint32_t { kDone = 0, kOutOfMemory = 1, kInterrupted = 2, kOtherFailure = 3 };

uint32_t runRecord(const WorkerRecord& record) {
    try {
        record.bandFunction(record.index, record.count, record.index, record.refcon);
        return kDone;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (const Kel::Interrupted&) {
        return kInterrupted;
    } catch (...) {
        return kOtherFailure;
    }
}

uint32_t KEL_THREAD_CALL workerEntry(void* argument) { return runRecord(*static_cast<WorkerRecord*>(argument)); }

} // namespace

void Thread::thread(BandFunction bandFunction, void* refcon, int32_t count) {
    if (count == 0) {
        if (processorCount_ == 0)
            processorCount_ = Platform::processorCount();
        count = processorCount_;
    }
    if (count <= 1) {
        bandFunction(0, 1, 0, refcon);
        return;
    }

    // Worker records live on this thread's stack for the run: no heap use here.
    WorkerRecord* records = static_cast<WorkerRecord*>(
        __builtin_alloca(sizeof(WorkerRecord) * size_t(count) + alignof(WorkerRecord)));
    records = reinterpret_cast<WorkerRecord*>(
        (reinterpret_cast<uintptr_t>(records) + alignof(WorkerRecord) - 1) &
        ~uintptr_t(alignof(WorkerRecord) - 1));
    for (int32_t index = 0; index < count; ++index) {
        WorkerRecord* record = new (&records[index])
            WorkerRecord{nullptr, bandFunction, refcon, index, count};
        record->handle = Platform::startThread(workerEntry, record);
    }

    // Join in index order. A band whose thread could not be started runs here,
    // on the calling thread, so that no band is lost.
    uint32_t result = kDone;
    for (int32_t index = 0; index < count; ++index) {
        WorkerRecord& record = records[index];
        const uint32_t code = record.handle != nullptr ? Platform::joinThread(record.handle)
                                                       : runRecord(record);
        if (code != kDone)
            result = code;
    }

    switch (result) {
    case kOutOfMemory:
        throw std::bad_alloc();
    case kInterrupted:
        throw Kel::Interrupted();
    case kOtherFailure:
        throw Kel::Exception("Kel::Host::System::Thread::thread",
                             "An unknown error occurred in a thread.");
    default:
        return;
    }
}

} // namespace Kel::Host::System
