// The reference host's bookkeeping: what the plug-in holds right now (suites,
// parameter check-outs, memory handles, worlds), how often it called each
// callback, and every misuse (a release of something not held).
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace refhost {

class HostLedger {
public:
    enum class Held { Suite, ParamCheckout, MemoryHandle, World };

    void acquired(Held kind, const std::string& what);
    // Records a misuse when `what` was not held.
    void released(Held kind, const std::string& what);
    void called(const std::string& callback);
    void misuse(const std::string& text);

    int heldCount(Held kind) const;
    int heldCount(Held kind, const std::string& what) const;
    bool nothingHeld() const;
    // Readable list of what is held and of the misuses; empty when clean.
    std::string report() const;

    int calls(const std::string& callback) const;
    int totalCalls() const;
    std::vector<std::string> misuses() const;
    void resetCalls();

private:
    mutable std::mutex mutex_;
    std::map<std::pair<Held, std::string>, int> held_;
    std::map<std::string, int> calls_;
    std::vector<std::string> misuses_;
};

} // namespace refhost
