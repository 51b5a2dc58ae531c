#include "cli/FieldOrderChoice.h"

#include "cli/FieldOrderDetection.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace cli {

namespace {

bool headerStatesOrder(const Y4mHeader& header) {
    return header.interlace == Y4mInterlace::TopFirst || header.interlace == Y4mInterlace::BottomFirst;
}

size_t framesToMeasure(const Y4mReader& reader) {
    const int64_t frameBytes = std::max<int64_t>(reader.layout().frameBytes, 1);
    return std::clamp<size_t>(size_t(kFieldOrderBytes / frameBytes), 2, kFieldOrderFrames);
}

std::string fraction(double value) {
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string evidenceText(const FieldOrderDetection& d) {
    std::string text = "measured over " + std::to_string(d.framesMeasured) + " frames: ";
    if (d.verdict != FieldOrderVerdict::Undecided)
        return text + fraction(d.share()) + " of the evidence";
    if (d.total() < kVerdictStrength * d.pairsMeasured)
        return text + "too little motion to tell";
    return text + "upper first " + fraction(d.upperFirst / d.total()) + ", lower first " +
           fraction(d.lowerFirst / d.total()) + ", progressive " + fraction(d.progressive / d.total()) +
           " of the evidence";
}

} // namespace

int64_t fieldOrderLookaheadBytes(const Y4mReader& reader) {
    if (headerStatesOrder(reader.header()))
        return 0;
    return int64_t(framesToMeasure(reader)) * reader.layout().frameBytes;
}

FieldOrder chooseFieldOrder(Y4mReader& reader, bool quiet, std::ostream& messages) {
    const Y4mHeader& header = reader.header();
    if (headerStatesOrder(header))
        return header.interlace == Y4mInterlace::TopFirst ? FieldOrder::Upper : FieldOrder::Lower;

    const std::span<const Y4mFrame> first = reader.readAhead(framesToMeasure(reader));
    const bool untaggedFrames = std::any_of(first.begin(), first.end(), [](const Y4mFrame& f) {
        return f.interlace == Y4mInterlace::Unspecified;
    });
    const FieldOrderDetection found = detectFieldOrder(first);
    switch (found.verdict) {
    case FieldOrderVerdict::UpperFirst:
    case FieldOrderVerdict::LowerFirst: {
        const bool upper = found.verdict == FieldOrderVerdict::UpperFirst;
        reader.setUntaggedInterlace(upper ? Y4mInterlace::TopFirst : Y4mInterlace::BottomFirst);
        if (!quiet)
            messages << "velmora: field order: " << (upper ? "upper" : "lower") << " field first ("
                     << evidenceText(found) << ")\n";
        return upper ? FieldOrder::Upper : FieldOrder::Lower;
    }
    case FieldOrderVerdict::Progressive:
        // Deinterlacing progressive pictures would only lose detail.
        reader.setUntaggedInterlace(Y4mInterlace::Progressive);
        if (!quiet)
            messages << "velmora: field order: progressive (" << evidenceText(found)
                     << "); frames are written unchanged (--fields upper or lower to deinterlace them)\n";
        return FieldOrder::Upper;
    case FieldOrderVerdict::Undecided:
        break;
    }
    // Nothing to decide when every frame carries its own tag (an Im stream)
    // or there is no frame at all.
    if (!quiet && untaggedFrames) {
        const std::string why = found.pairsMeasured == 0 ? "too few frames to measure" : evidenceText(found);
        messages << "velmora: warning: field order undecided (" << why
                 << "); keeping the upper field (--fields lower to change)\n";
    }
    return FieldOrder::Upper;
}

} // namespace cli
