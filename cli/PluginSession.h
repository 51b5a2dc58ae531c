// The plug-in loaded and set up by the reference host, ready to render:
// library, host and render driver, owned together and torn down in order.
#pragma once

#include "cli/CliOptions.h"
#include "refhost/PluginLibrary.h"
#include "refhost/RefHost.h"
#include "refhost/RenderDriver.h"

#include <string>

namespace cli {

// The plug-in used when no --plugin is given: the first of
// <program folder>/../Velmora.so (the build tree: build/cli/velmora beside
// build/Velmora.so), <program folder>/Velmora.so and
// <program folder>/../lib/velmora/Velmora.so (an install) that exists;
// Velmora.aex on Windows. Empty when none exists.
std::string defaultPluginPath();

refhost::HostProfile hostProfileOf(HostKind kind, int threads);

class PluginSession {
public:
    // threads 0: every processor. Throws CliError when the plug-in cannot be
    // loaded or its setup fails.
    PluginSession(const std::string& pluginPath, HostKind host, int threads);
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    refhost::RefHost& host() { return host_; }
    refhost::RenderDriver& driver() { return driver_; }

private:
    refhost::PluginLibrary library_;
    refhost::RefHost host_;
    refhost::RenderDriver driver_;
};

} // namespace cli
