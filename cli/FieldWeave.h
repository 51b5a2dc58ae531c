// Makes interlaced frames from progressive ones: interlaced frame i takes its
// upper field (even rows) from progressive frame 2i and its lower field (odd
// rows) from frame 2i + 1, as an interlaced camera records them.
#pragma once

#include "cli/Y4mFrame.h"
#include "cli/Y4mHeader.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"

#include <cstdint>

namespace cli {

// Weaves `upper` and `lower` (same layout) into `out`. Every plane is woven by
// rows, chroma included: in 4:2:0, chroma row j then belongs to field j mod 2
// as interlaced 4:2:0 expects (its values are the progressive average of two
// rows of one picture; only approximately the field's own chroma).
void weaveFields(const Y4mFrame& upper, const Y4mFrame& lower, Y4mFrame& out);

// The header of the woven stream: half the frame rate, marked It.
Y4mHeader interlacedHeaderOf(const Y4mHeader& progressive);

// Weaves a whole progressive stream: each pair of frames becomes one frame of
// `woven` (opened with interlacedHeaderOf, Tag::AsGiven); `truth`, if given,
// receives the upper field's frame of each pair. A trailing odd frame is
// dropped. Returns the interlaced frames written.
int64_t weaveStream(Y4mReader& progressive, Y4mWriter& woven, Y4mWriter* truth);

} // namespace cli
