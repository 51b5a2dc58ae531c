// Helpers for tests that drive the plug-in through the reference host.
#pragma once

#include "refhost/PluginLibrary.h"
#include "refhost/RefHost.h"

#include <gtest/gtest.h>

#ifdef VELMORA_PLUGIN_PATH
// The built plug-in, loaded once per test program through its registration.
inline refhost::PluginLibrary& loadedPlugin() {
    static refhost::PluginLibrary library(VELMORA_PLUGIN_PATH);
    return library;
}
#endif

// Nothing the plug-in acquired is still held, and nothing was released twice.
#define EXPECT_NOTHING_HELD(host)                                                           \
    EXPECT_TRUE((host).ledger().nothingHeld()) << (host).ledger().report()
