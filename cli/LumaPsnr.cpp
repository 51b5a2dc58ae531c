#include "cli/LumaPsnr.h"

#include "cli/CliError.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cli {

void LumaError::add(const Y4mFrame& a, const Y4mFrame& b) {
    add(a, b, LumaRegion{0, 0, a.layout().width[0], a.layout().height[0]});
}

void LumaError::add(const Y4mFrame& a, const Y4mFrame& b, LumaRegion r) {
    const Y4mFrameLayout& l = a.layout();
    if (b.size() != a.size() || b.layout().width[0] != l.width[0])
        throw CliError("LumaError: frames of different layouts");
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, l.width[0]);
    r.bottom = std::min(r.bottom, l.height[0]);
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    double sum = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const double d = l.sampleBytes == 1 ? double(a.row<uint8_t>(0, y)[x]) - double(b.row<uint8_t>(0, y)[x])
                                                : double(a.row<uint16_t>(0, y)[x]) - double(b.row<uint16_t>(0, y)[x]);
            sum += d * d;
        }
    }
    squaredError += sum;
    samples += int64_t(r.right - r.left) * (r.bottom - r.top);
}

double LumaError::psnr(int bitDepth) const {
    if (samples == 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (squaredError == 0)
        return std::numeric_limits<double>::infinity();
    const double peak = double((1 << bitDepth) - 1);
    return 10.0 * std::log10(peak * peak / (squaredError / double(samples)));
}

} // namespace cli
