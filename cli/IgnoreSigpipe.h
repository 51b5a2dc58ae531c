// Makes a write to a closed pipe fail with EPIPE (reported as an error by the
// writers) instead of killing the process with SIGPIPE.
#pragma once

namespace cli {

void ignoreSigpipe();

} // namespace cli
