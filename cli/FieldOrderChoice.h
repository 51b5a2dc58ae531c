// The field order of a run without --fields: the stream header's It or Ib,
// or else (Ip, Im or no tag) measured on the first frames (FieldOrderDetection).
#pragma once

#include "cli/CliOptions.h"
#include "cli/Y4mReader.h"

#include <cstdint>
#include <ostream>

namespace cli {

// Frames measured: enough pairs that a few odd ones (a cut, a still moment)
// do not decide, at most kFieldOrderBytes of them, and never fewer than two.
inline constexpr size_t kFieldOrderFrames = 24;
inline constexpr int64_t kFieldOrderBytes = int64_t(128) << 20;

// The bytes of the frames read ahead for the measurement (0 when the header
// states the order).
int64_t fieldOrderLookaheadBytes(const Y4mReader& reader);

// The field kept in frames without an interlace tag of their own. A measured
// order is also handed to the reader for its untagged frames
// (setUntaggedInterlace), so that frames measured progressive are written
// unchanged. The frames measured are read ahead and still processed. Says
// what was found and on what evidence on `messages`, unless `quiet`; when
// the evidence does not decide, keeps the upper field with a warning.
FieldOrder chooseFieldOrder(Y4mReader& reader, bool quiet, std::ostream& messages);

} // namespace cli
