#include "refhost/PluginLibrary.h"

#include <algorithm>
#include <stdexcept>

namespace refhost {

std::string PluginLibrary::registrationPathFor(const std::string& libraryPath) {
    const size_t slash = libraryPath.find_last_of('/');
    const size_t dot = libraryPath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? libraryPath.substr(0, dot) : libraryPath) + ".pipl";
}

void PluginLibrary::adoptRegistration(const std::vector<uint8_t>& bytes,
                                      const std::string& libraryPath) {
    registration_ = decodePipl(bytes);
    if (piplFourCC(piplProperty(registration_, "kind")) != "eFKT")
        throw std::runtime_error(libraryPath + " is not registered as an effect");
    const bool registered = std::any_of(registration_.begin(), registration_.end(),
                                        [](const PiplProperty& p) { return p.key == kEntryPointKey; });
    if (!registered)
        throw std::runtime_error(libraryPath + " registers no entry point for this host's architecture ('" +
                                 std::string(kEntryPointKey) + "')");
    entryPointName_ = piplCString(piplProperty(registration_, kEntryPointKey));
    matchName_ = piplPascalString(piplProperty(registration_, "eMNA"));
}

} // namespace refhost
