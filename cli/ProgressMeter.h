// Progress of a run on standard error, one line rewritten in place: frames
// done, frames per second, and the percentage and time left when the frame
// count is known. Updates at most four times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace cli {

class ProgressMeter {
public:
    ProgressMeter(bool enabled, std::optional<int64_t> totalFrames, std::FILE* out = stderr);
    ~ProgressMeter();
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    void update(int64_t framesDone);
    // The final line, ended by a newline.
    void finish(int64_t framesDone);

private:
    using Clock = std::chrono::steady_clock;
    void print(int64_t framesDone, bool last);

    bool enabled_;
    std::optional<int64_t> total_;
    std::FILE* out_;
    Clock::time_point start_;
    Clock::time_point lastPrint_;
    bool printed_ = false;
    bool finished_ = false;
};

} // namespace cli
