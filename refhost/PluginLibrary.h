// A plug-in shared library found the way a host finds it: its registration
// names the entry point, which is then looked up in the loaded library. On
// Windows the registration is the library's "PiPL" resource; elsewhere it is
// the file beside it ("<name>.pipl"). Loading lives in one file per system
// (refhost/platform/).
#pragma once

#include "refhost/PiplReader.h"
#include "sdk/AE_Effect.h"

#include <string>
#include <vector>

namespace refhost {

class PluginLibrary {
public:
    // Throws std::runtime_error when the library, its registration or the
    // entry point cannot be found.
    explicit PluginLibrary(const std::string& libraryPath);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    PF_EntryFunc entry() const { return entry_; }
    const std::vector<PiplProperty>& registration() const { return registration_; }
    const std::string& entryPointName() const { return entryPointName_; }
    // The registration key the entry point was found under: this host's own.
    const char* entryPointKey() const { return kEntryPointKey; }

    // A host reads only its own architecture's entry point: '8664' for 64-bit
    // hosts, 'wx86' for 32-bit ones.
    static constexpr const char* kEntryPointKey = sizeof(void*) == 8 ? "8664" : "wx86";
    const std::string& matchName() const { return matchName_; }

    static std::string registrationPathFor(const std::string& libraryPath);

private:
    // Decodes the registration and reads the kind, entry point and match name
    // from it; throws PiplError or std::runtime_error.
    void adoptRegistration(const std::vector<uint8_t>& bytes, const std::string& libraryPath);

    void* handle_ = nullptr;
    PF_EntryFunc entry_ = nullptr;
    std::vector<PiplProperty> registration_;
    std::string entryPointName_;
    std::string matchName_;
};

} // namespace refhost
