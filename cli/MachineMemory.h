// How much memory the command may count on.
#pragma once

#include <cstdint>

namespace cli {

// The machine's physical memory, or the control group's limit when that is
// lower (a container); 0 when neither can be read.
int64_t machineMemoryBytes();

} // namespace cli
