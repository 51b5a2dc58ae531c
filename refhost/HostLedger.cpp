#include "refhost/HostLedger.h"

#include <numeric>

namespace refhost {

namespace {
const char* kindName(HostLedger::Held kind) {
    switch (kind) {
    case HostLedger::Held::Suite: return "suite";
    case HostLedger::Held::ParamCheckout: return "parameter check-out";
    case HostLedger::Held::MemoryHandle: return "memory handle";
    case HostLedger::Held::World: return "world";
    }
    return "?";
}
} // namespace

void HostLedger::acquired(Held kind, const std::string& what) {
    std::lock_guard lock(mutex_);
    ++held_[{kind, what}];
}

void HostLedger::released(Held kind, const std::string& what) {
    std::lock_guard lock(mutex_);
    auto it = held_.find({kind, what});
    if (it == held_.end() || it->second == 0) {
        misuses_.push_back(std::string("released ") + kindName(kind) + " not held: " + what);
        return;
    }
    if (--it->second == 0)
        held_.erase(it);
}

void HostLedger::called(const std::string& callback) {
    std::lock_guard lock(mutex_);
    ++calls_[callback];
}

void HostLedger::misuse(const std::string& text) {
    std::lock_guard lock(mutex_);
    misuses_.push_back(text);
}

int HostLedger::heldCount(Held kind) const {
    std::lock_guard lock(mutex_);
    int total = 0;
    for (const auto& [key, count] : held_)
        if (key.first == kind)
            total += count;
    return total;
}

int HostLedger::heldCount(Held kind, const std::string& what) const {
    std::lock_guard lock(mutex_);
    auto it = held_.find({kind, what});
    return it == held_.end() ? 0 : it->second;
}

bool HostLedger::nothingHeld() const {
    std::lock_guard lock(mutex_);
    return held_.empty() && misuses_.empty();
}

std::string HostLedger::report() const {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const auto& [key, count] : held_)
        text += std::string("held: ") + kindName(key.first) + " " + key.second + " x" +
                std::to_string(count) + "\n";
    for (const std::string& m : misuses_)
        text += "misuse: " + m + "\n";
    return text;
}

int HostLedger::calls(const std::string& callback) const {
    std::lock_guard lock(mutex_);
    auto it = calls_.find(callback);
    return it == calls_.end() ? 0 : it->second;
}

int HostLedger::totalCalls() const {
    std::lock_guard lock(mutex_);
    return std::accumulate(calls_.begin(), calls_.end(), 0,
                           [](int sum, const auto& entry) { return sum + entry.second; });
}

std::vector<std::string> HostLedger::misuses() const {
    std::lock_guard lock(mutex_);
    return misuses_;
}

void HostLedger::resetCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

} // namespace refhost
