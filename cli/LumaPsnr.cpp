#include "cli/LumaPsnr.h"

#include "cli/CliError.h"

#include <cmath>
#include <limits>

void LumaError::add(const Y4mFrame& a, const Y4mFrame& b) {
    const Y4mFrameLayout& l = a.layout();
    if (b.size() != a.size() || b.layout().width[0] != l.width[0])
        throw CliError("LumaError: frames of different layouts");
    double sum = 0;
    for (int y = 0; y < l.height[0]; ++y) {
        for (int x = 0; x < l.width[0]; ++x) {
            const double d = l.sampleBytes == 1 ? double(a.row<uint8_t>(0, y)[x]) - double(b.row<uint8_t>(0, y)[x])
                                                : double(a.row<uint16_t>(0, y)[x]) - double(b.row<uint16_t>(0, y)[x]);
            sum += d * d;
        }
    }
    squaredError += sum;
    samples += int64_t(l.width[0]) * l.height[0];
}

double LumaError::psnr(int bitDepth) const {
    if (samples == 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (squaredError == 0)
        return std::numeric_limits<double>::infinity();
    const double peak = double((1 << bitDepth) - 1);
    return 10.0 * std::log10(peak * peak / (squaredError / double(samples)));
}
