// Loads a plug-in as a Windows host does: LoadLibrary, the registration from
// the library's "PiPL" resource 16000, then the entry point it names.
#include "refhost/PluginLibrary.h"
#include "refhost/platform/WinWideText.h"

#include <windows.h>

#include <stdexcept>

namespace refhost {

namespace {

constexpr WORD kPiplResourceId = 16000;

std::vector<uint8_t> registrationResource(HMODULE module, const std::string& libraryPath) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kPiplResourceId), L"PiPL");
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const uint8_t* bytes = loaded != nullptr ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr)
        throw std::runtime_error(libraryPath + " has no PiPL resource");
    return std::vector<uint8_t>(bytes, bytes + SizeofResource(module, found));
}

} // namespace

PluginLibrary::PluginLibrary(const std::string& libraryPath) {
    HMODULE module = LoadLibraryW(wideText(libraryPath).c_str());
    if (module == nullptr)
        throw std::runtime_error("cannot load plug-in " + libraryPath + " (Windows error " +
                                 std::to_string(GetLastError()) + ")");
    try {
        adoptRegistration(registrationResource(module, libraryPath), libraryPath);
        FARPROC symbol = GetProcAddress(module, entryPointName_.c_str());
        if (symbol == nullptr)
            throw std::runtime_error("plug-in has no entry point " + entryPointName_);
        entry_ = reinterpret_cast<PF_EntryFunc>(reinterpret_cast<void*>(symbol));
    } catch (...) {
        FreeLibrary(module);
        throw;
    }
    handle_ = module;
}

PluginLibrary::~PluginLibrary() { FreeLibrary(static_cast<HMODULE>(handle_)); }

} // namespace refhost
