// Runs one parsed command line of `velmora`: deinterlace, demo, info,
// interlace, help or version. Reports go to `out`; progress and warnings to
// standard error.
#pragma once

#include "cli/CliOptions.h"

#include <ostream>

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "unknown"
#endif

namespace cli {

// Returns the exit status; throws CliError (or another std::exception) for a
// failure, after removing any output file it had begun.
int runCommand(const CliOptions& options, std::ostream& out);

} // namespace cli
