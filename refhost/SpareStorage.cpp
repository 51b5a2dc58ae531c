#include "refhost/SpareStorage.h"

namespace refhost {

std::unique_ptr<uint8_t[]> SpareStorage::take(uint64_t bytes) {
    for (auto it = spare_.begin(); it != spare_.end(); ++it)
        if (it->first == bytes) {
            std::unique_ptr<uint8_t[]> storage = std::move(it->second);
            bytes_ -= bytes;
            spare_.erase(it);
            return storage;
        }
    return nullptr;
}

void SpareStorage::keep(uint64_t bytes, std::unique_ptr<uint8_t[]> storage) {
    if (!on_ || bytes > mostBytes_)
        return;
    spare_.emplace_back(bytes, std::move(storage));
    bytes_ += bytes;
    while (spare_.size() > mostBlocks_ || bytes_ > mostBytes_) {
        bytes_ -= spare_.front().first;
        spare_.erase(spare_.begin());
    }
}

void SpareStorage::setOn(bool on) {
    on_ = on;
    if (!on) {
        spare_.clear();
        bytes_ = 0;
    }
}

} // namespace refhost
