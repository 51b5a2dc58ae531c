// A host memory handle, requested, locked for its whole life and unlocked and
// disposed by its owner on every path. The locked pointer is rounded up to the
// requested alignment (16 bytes unless the caller asks for more, e.g. a page).
#pragma once

#include "sdk/AE_Effect.h"
#include "sdk/AE_EffectCB.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>

class HostBuffer {
public:
    HostBuffer() = default;

    // Throws std::bad_alloc when the host cannot provide the memory (or the
    // padded size does not fit in 64 bits). `alignment` is a power of two.
    HostBuffer(PF_InData* inData, uint64_t bytes, uint64_t alignment = 16) {
        if (alignment < 16)
            alignment = 16;
        if (bytes > std::numeric_limits<uint64_t>::max() - alignment)
            throw std::bad_alloc();
        const PF_UtilCallbacks* utils = inData->utils;
        PF_Handle handle = utils->host_new_handle(bytes + alignment);
        if (handle == nullptr)
            throw std::bad_alloc();
        void* locked = utils->host_lock_handle(handle);
        if (locked == nullptr) {
            utils->host_dispose_handle(handle);
            throw std::bad_alloc();
        }
        utils_ = utils;
        handle_ = handle;
        const uintptr_t address = reinterpret_cast<uintptr_t>(locked);
        const uintptr_t aligned = (address + uintptr_t(alignment - 1)) & ~uintptr_t(alignment - 1);
        data_ = static_cast<uint8_t*>(locked) + (aligned - address);
        size_ = bytes;
    }

    ~HostBuffer() { release(); }

    HostBuffer(const HostBuffer&) = delete;
    HostBuffer& operator=(const HostBuffer&) = delete;
    HostBuffer(HostBuffer&& other) noexcept { swap(other); }
    HostBuffer& operator=(HostBuffer&& other) noexcept {
        if (this != &other) {
            release();
            swap(other);
        }
        return *this;
    }

    void release() {
        if (handle_ != nullptr) {
            utils_->host_unlock_handle(handle_);
            utils_->host_dispose_handle(handle_);
        }
        utils_ = nullptr;
        handle_ = nullptr;
        data_ = nullptr;
        size_ = 0;
    }

    uint8_t* data() const { return data_; }
    template <class T>
    T* as() const { return reinterpret_cast<T*>(data_); }
    uint64_t size() const { return size_; }
    bool empty() const { return handle_ == nullptr; }

private:
    void swap(HostBuffer& other) noexcept {
        std::swap(utils_, other.utils_);
        std::swap(handle_, other.handle_);
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
    }

    const PF_UtilCallbacks* utils_ = nullptr;
    PF_Handle handle_ = nullptr;
    uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
};
