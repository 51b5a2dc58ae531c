// Loads a plug-in with dlopen; its registration is the file beside it.
#include "refhost/PluginLibrary.h"

#include <dlfcn.h>

#include <stdexcept>

namespace refhost {

PluginLibrary::PluginLibrary(const std::string& libraryPath) {
    adoptRegistration(readFileBytes(registrationPathFor(libraryPath)), libraryPath);

    handle_ = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr)
        throw std::runtime_error(std::string("cannot load plug-in: ") + dlerror());
    void* symbol = dlsym(handle_, entryPointName_.c_str());
    if (symbol == nullptr) {
        dlclose(handle_);
        throw std::runtime_error("plug-in has no entry point " + entryPointName_);
    }
    entry_ = reinterpret_cast<PF_EntryFunc>(symbol);
}

PluginLibrary::~PluginLibrary() { dlclose(handle_); }

} // namespace refhost
