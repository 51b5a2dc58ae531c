#include "cli/FieldWeave.h"

#include "cli/CliError.h"

#include <cstring>

namespace cli {

void weaveFields(const Y4mFrame& upper, const Y4mFrame& lower, Y4mFrame& out) {
    const Y4mFrameLayout& l = out.layout();
    if (upper.size() != l.frameBytes || lower.size() != l.frameBytes)
        throw CliError("weaveFields: frames of different layouts");
    for (int p = 0; p < l.planes; ++p) {
        const int64_t rowBytes = int64_t(l.width[p]) * l.sampleBytes;
        for (int y = 0; y < l.height[p]; ++y) {
            const Y4mFrame& src = y % 2 == 0 ? upper : lower;
            const int64_t at = l.offset[p] + int64_t(y) * rowBytes;
            std::memcpy(out.data() + at, src.data() + at, size_t(rowBytes));
        }
    }
}

Y4mHeader interlacedHeaderOf(const Y4mHeader& progressive) {
    Y4mHeader h = withScaledFrameRate(progressive, false);
    h.interlace = Y4mInterlace::TopFirst;
    return h;
}

int64_t weaveStream(Y4mReader& progressive, Y4mWriter& woven, Y4mWriter* truth) {
    Y4mFrame upper(progressive.layout()), lower(progressive.layout()), out(progressive.layout());
    int64_t frames = 0;
    while (progressive.readFrame(upper) && progressive.readFrame(lower)) {
        weaveFields(upper, lower, out);
        woven.writeFrame(out);
        if (truth != nullptr)
            truth->writeFrame(upper);
        ++frames;
    }
    return frames;
}

} // namespace cli
