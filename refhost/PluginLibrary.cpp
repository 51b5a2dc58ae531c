#include "refhost/PluginLibrary.h"

#include <stdexcept>

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
    entryPointName_ = piplCString(piplProperty(registration_, kEntryPointKey));
    matchName_ = piplPascalString(piplProperty(registration_, "eMNA"));
}
