#include "cli/PluginSession.h"

#include "cli/CliError.h"
#include "cli/platform/CliPlatform.h"

#include <filesystem>
#include <thread>

namespace cli {

std::string defaultPluginPath() {
    const std::string exe = CliPlatform::programPath();
    if (exe.empty())
        return {};
    const std::filesystem::path folder = std::filesystem::path(exe).parent_path();
    const char* const name = CliPlatform::kPluginFileName;
    std::error_code ec;
    for (const std::filesystem::path& candidate :
         {folder / ".." / name, folder / name, folder / ".." / "lib" / "velmora" / name}) {
        if (std::filesystem::is_regular_file(candidate, ec))
            return candidate.lexically_normal().string();
    }
    return {};
}

refhost::HostProfile hostProfileOf(HostKind kind, int threads) {
    using refhost::HostProfile;
    HostProfile profile = kind == HostKind::Premiere ? HostProfile::premiere()
                          : kind == HostKind::KeyG   ? HostProfile::keyG()
                                                     : HostProfile::afterEffects();
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    // Long runs reuse frame and handle memory instead of touching fresh pages
    // per frame.
    return profile.withWorkers(threads).withRecycledMemory();
}

namespace {

refhost::PluginLibrary loadLibrary(const std::string& path) {
    if (path.empty())
        throw CliError("cannot find Velmora.so beside the program; name it with --plugin PATH");
    try {
        return refhost::PluginLibrary(path);
    } catch (const std::exception& e) {
        throw CliError(std::string("cannot load the plug-in: ") + e.what());
    }
}

} // namespace

PluginSession::PluginSession(const std::string& pluginPath, HostKind host, int threads)
    : library_(loadLibrary(pluginPath)), host_(hostProfileOf(host, threads), library_.entry()),
      driver_(host_) {}

} // namespace cli
