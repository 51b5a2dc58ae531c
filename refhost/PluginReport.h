// What a plug-in registers and declares, as the reference host (playing After
// Effects) sees it: registration properties, about text, global setup's
// version and flags, accepted pixel formats and the parameters.
#pragma once

#include <ostream>
#include <string>

namespace refhost {

// Prints the report; false when a command failed or the plug-in still holds
// something afterwards. Throws std::runtime_error when the library cannot be
// loaded.
bool printPluginReport(std::ostream& out, const std::string& libraryPath);

} // namespace refhost
