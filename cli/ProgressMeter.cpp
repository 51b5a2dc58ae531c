#include "cli/ProgressMeter.h"

namespace cli {

ProgressMeter::ProgressMeter(bool enabled, std::optional<int64_t> totalFrames, std::FILE* out)
    : enabled_(enabled), total_(totalFrames), out_(out), start_(Clock::now()), lastPrint_(start_) {}

ProgressMeter::~ProgressMeter() {
    // An interrupted run still ends its progress line, so that the error
    // message starts on a line of its own.
    if (enabled_ && printed_ && !finished_)
        std::fputc('\n', out_);
}

void ProgressMeter::update(int64_t framesDone) {
    if (!enabled_)
        return;
    const Clock::time_point now = Clock::now();
    if (printed_ && now - lastPrint_ < std::chrono::milliseconds(250))
        return;
    lastPrint_ = now;
    print(framesDone, false);
}

void ProgressMeter::finish(int64_t framesDone) {
    if (!enabled_ || finished_)
        return;
    print(framesDone, true);
    finished_ = true;
}

void ProgressMeter::print(int64_t framesDone, bool last) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    const double fps = seconds > 0 ? double(framesDone) / seconds : 0.0;
    char line[160];
    int n = std::snprintf(line, sizeof line, "\rvelmora: %lld", static_cast<long long>(framesDone));
    if (total_ && *total_ > 0) {
        const double percent = 100.0 * double(framesDone) / double(*total_);
        n += std::snprintf(line + n, sizeof line - size_t(n), "/%lld frames (%.0f%%), %.2f fps",
                           static_cast<long long>(*total_), percent, fps);
        if (!last && fps > 0 && framesDone < *total_) {
            const double left = double(*total_ - framesDone) / fps;
            n += std::snprintf(line + n, sizeof line - size_t(n), ", %.0f s left", left);
        }
    } else {
        n += std::snprintf(line + n, sizeof line - size_t(n), " frames, %.2f fps", fps);
    }
    // Blanks over what a longer earlier line left behind.
    std::fprintf(out_, "%s   %s", line, last ? "\n" : "");
    std::fflush(out_);
    printed_ = true;
}

} // namespace cli
