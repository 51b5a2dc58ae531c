// Host memory handles: a PF_Handle points at the block pointer, as a host's
// relocatable memory does. The store knows every live handle, its size and
// whether it is locked, so that a dispose of an unknown handle is noticed.
//
// With recycling on, the memory of disposed handles is kept (a few blocks,
// up to a byte limit) and handed to the next handle of the same size, as a
// host's memory manager does; the plug-in asks for the same sizes every
// frame, and fresh blocks of tens of megabytes would otherwise be faulted in
// page by page each time. New handle memory is never promised to be zero.
#pragma once

#include "refhost/SpareStorage.h"
#include "sdk/AE_Effect.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace refhost {

class HandleStore {
public:
    // Null when the memory is not there. `key` receives the handle's name.
    PF_Handle create(uint64_t size, std::string* key);
    // Null for an unknown handle. Locks nest.
    void* lock(PF_Handle handle);
    // False for an unknown or unlocked handle.
    bool unlock(PF_Handle handle);
    // False for an unknown handle; `key` receives its name, `wasLocked`
    // whether it was still locked.
    bool dispose(PF_Handle handle, std::string* key, bool* wasLocked);
    // False for an unknown handle.
    bool size(PF_Handle handle, uint64_t* size) const;
    int live() const;
    int locked() const;
    void setRecycling(bool on);
    int spare() const;

private:
    struct Block {
        void* data = nullptr; // first: the PF_Handle points here
        uint64_t size = 0;
        int locks = 0;
        std::string key;
        std::unique_ptr<uint8_t[]> storage;
    };

    mutable std::mutex mutex_;
    std::map<PF_Handle, std::unique_ptr<Block>> blocks_;
    int serial_ = 0;
    // Storage of disposed blocks by the size asked for; enough for the
    // buffers of one frame of large footage.
    SpareStorage spare_{32, uint64_t(512) << 20};
};

} // namespace refhost
