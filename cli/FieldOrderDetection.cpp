#include "cli/FieldOrderDetection.h"

#include <algorithm>
#include <cstdlib>

namespace cli {

namespace {

template <class Sample>
int64_t weaveCombingOf(const Y4mFrame& upper, const Y4mFrame& lower) {
    const int width = upper.layout().width[0], height = upper.layout().height[0];
    // Row y of the woven picture: from `upper` on even rows, `lower` on odd ones.
    auto wovenRow = [&](int y) { return (y % 2 == 0 ? upper : lower).template row<Sample>(0, y); };
    int64_t sum = 0;
    for (int y = 1; y + 1 < height; ++y) {
        const Sample* above = wovenRow(y - 1);
        const Sample* row = wovenRow(y);
        const Sample* below = wovenRow(y + 1);
        for (int x = 0; x < width; ++x)
            sum += std::abs(2 * int64_t(row[x]) - int64_t(above[x]) - int64_t(below[x]));
    }
    return sum;
}

} // namespace

int64_t weaveCombing(const Y4mFrame& upper, const Y4mFrame& lower) {
    return upper.layout().sampleBytes == 1 ? weaveCombingOf<uint8_t>(upper, lower)
                                           : weaveCombingOf<uint16_t>(upper, lower);
}

double FieldOrderDetection::share() const {
    switch (verdict) {
    case FieldOrderVerdict::UpperFirst:
        return upperFirst / total();
    case FieldOrderVerdict::LowerFirst:
        return lowerFirst / total();
    case FieldOrderVerdict::Progressive:
        return progressive / total();
    case FieldOrderVerdict::Undecided:
        break;
    }
    return 0;
}

FieldOrderDetection detectFieldOrder(std::span<const Y4mFrame> frames) {
    FieldOrderDetection d;
    bool previousCounted = false;
    for (size_t n = 0; n + 1 < frames.size(); ++n) {
        const Y4mFrame& now = frames[n];
        const Y4mFrame& next = frames[n + 1];
        if (now.interlace != Y4mInterlace::Unspecified || next.interlace != Y4mInterlace::Unspecified) {
            previousCounted = false;
            continue;
        }
        const int64_t same = weaveCombing(now, now);
        const int64_t upperFirst = weaveCombing(next, now);
        const int64_t lowerFirst = weaveCombing(now, next);
        d.framesMeasured += previousCounted ? 1 : 2;
        previousCounted = true;
        ++d.pairsMeasured;
        const int64_t most = std::max({same, upperFirst, lowerFirst});
        if (most == 0)
            continue; // flat pictures: no evidence either way
        const double scale = double(most);
        d.upperFirst += double(std::max<int64_t>(lowerFirst - upperFirst, 0)) / scale;
        d.lowerFirst += double(std::max<int64_t>(upperFirst - lowerFirst, 0)) / scale;
        d.progressive += double(std::max<int64_t>(std::min(upperFirst, lowerFirst) - same, 0)) / scale;
    }
    if (d.pairsMeasured == 0)
        return d;
    const double best = std::max({d.upperFirst, d.lowerFirst, d.progressive});
    if (best < kVerdictShare * d.total() || best < kVerdictStrength * d.pairsMeasured)
        return d;
    d.verdict = best == d.upperFirst    ? FieldOrderVerdict::UpperFirst
                : best == d.lowerFirst  ? FieldOrderVerdict::LowerFirst
                                        : FieldOrderVerdict::Progressive;
    return d;
}

} // namespace cli
