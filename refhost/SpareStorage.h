// The memory of freed blocks, kept for the next block of the same size as a
// host's memory manager does: the plug-in asks for the same sizes every
// frame, and fresh blocks of tens of megabytes would otherwise be faulted in
// page by page each time. At most a number of blocks and of bytes are kept,
// the oldest going first. Not locked: its owner's lock guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace refhost {

class SpareStorage {
public:
    SpareStorage(size_t mostBlocks, uint64_t mostBytes) : mostBlocks_(mostBlocks), mostBytes_(mostBytes) {}

    // The storage of a freed block of `bytes`, the oldest such; null when
    // none is kept.
    std::unique_ptr<uint8_t[]> take(uint64_t bytes);
    // Keeps the storage of a freed block of `bytes`, dropping the oldest
    // blocks beyond the limits; while off, or for a block over the byte
    // limit, lets it go.
    void keep(uint64_t bytes, std::unique_ptr<uint8_t[]> storage);
    // Off at first; turning it off lets go of every block kept.
    void setOn(bool on);
    bool on() const { return on_; }
    int blocks() const { return int(spare_.size()); }

private:
    size_t mostBlocks_;
    uint64_t mostBytes_;
    bool on_ = false;
    // Oldest first: (size in bytes, storage).
    std::vector<std::pair<uint64_t, std::unique_ptr<uint8_t[]>>> spare_;
    uint64_t bytes_ = 0;
};

} // namespace refhost
