// The table of temporary output files an interrupt handler removes before
// the process ends. It is fixed in size, so that the handler needs neither
// memory nor a lock: an output file claims a slot, marks it Ready while the
// handler may remove the file under the path stored, and frees it once the
// file has been renamed or removed. The handler only reads slots.
#pragma once

#include <atomic>
#include <cstddef>

namespace cli {

template <size_t pathBytes>
struct TemporarySlots {
    enum State { Free, Claimed, Ready };
    struct Slot {
        std::atomic<int> state{Free};
        char path[pathBytes];
    };
    static constexpr int kSlots = 32;
    Slot slots[kSlots];

    // The index of a slot now Claimed by the caller; -1 when all are taken.
    int claim() {
        for (int i = 0; i < kSlots; ++i) {
            int expected = Free;
            if (slots[i].state.compare_exchange_strong(expected, Claimed))
                return i;
        }
        return -1;
    }

    // Frees slot `index` when it is one (>= 0), and sets it to -1.
    void release(int& index) {
        if (index >= 0)
            slots[index].state.store(Free);
        index = -1;
    }
};

} // namespace cli
