#include "refhost/HandleStore.h"

#include <new>

namespace refhost {

PF_Handle HandleStore::create(uint64_t size, std::string* key) {
    if (size > (uint64_t(1) << 40))
        return nullptr;
    auto block = std::make_unique<Block>();
    {
        std::lock_guard lock(mutex_);
        block->storage = spare_.take(size);
    }
    // 16 bytes over, so that the block itself starts on a 16-byte boundary.
    if (!block->storage)
        block->storage.reset(new (std::nothrow) uint8_t[size_t(size) + 16]);
    if (!block->storage)
        return nullptr;
    uint8_t* base = block->storage.get();
    block->data = base + (16 - reinterpret_cast<uintptr_t>(base) % 16) % 16;
    block->size = size;
    std::lock_guard lock(mutex_);
    block->key = "handle #" + std::to_string(++serial_) + " " + std::to_string(size) + " bytes";
    if (key != nullptr)
        *key = block->key;
    PF_Handle handle = &block->data;
    blocks_.emplace(handle, std::move(block));
    return handle;
}

void* HandleStore::lock(PF_Handle handle) {
    std::lock_guard guard(mutex_);
    auto it = blocks_.find(handle);
    if (it == blocks_.end())
        return nullptr;
    ++it->second->locks;
    return it->second->data;
}

bool HandleStore::unlock(PF_Handle handle) {
    std::lock_guard guard(mutex_);
    auto it = blocks_.find(handle);
    if (it == blocks_.end() || it->second->locks == 0)
        return false;
    --it->second->locks;
    return true;
}

bool HandleStore::dispose(PF_Handle handle, std::string* key, bool* wasLocked) {
    std::lock_guard guard(mutex_);
    auto it = blocks_.find(handle);
    if (it == blocks_.end())
        return false;
    if (key != nullptr)
        *key = it->second->key;
    if (wasLocked != nullptr)
        *wasLocked = it->second->locks > 0;
    spare_.keep(it->second->size, std::move(it->second->storage));
    blocks_.erase(it);
    return true;
}

bool HandleStore::size(PF_Handle handle, uint64_t* size) const {
    std::lock_guard guard(mutex_);
    auto it = blocks_.find(handle);
    if (it == blocks_.end())
        return false;
    *size = it->second->size;
    return true;
}

int HandleStore::live() const {
    std::lock_guard guard(mutex_);
    return int(blocks_.size());
}

int HandleStore::locked() const {
    std::lock_guard guard(mutex_);
    int n = 0;
    for (const auto& [handle, block] : blocks_)
        n += block->locks > 0 ? 1 : 0;
    return n;
}

void HandleStore::setRecycling(bool on) {
    std::lock_guard guard(mutex_);
    spare_.setOn(on);
}

int HandleStore::spare() const {
    std::lock_guard guard(mutex_);
    return spare_.blocks();
}

} // namespace refhost
