// Helpers for tests that drive the plug-in through the reference host.
#pragma once

#include "host/PluginEntry.h"
#include "refhost/PluginLibrary.h"
#include "refhost/RefHost.h"

#include <gtest/gtest.h>

#ifdef VELMORA_PLUGIN_PATH
// The built plug-in, loaded once per test program through its registration.
inline refhost::PluginLibrary& loadedPlugin() {
    static refhost::PluginLibrary library(VELMORA_PLUGIN_PATH);
    return library;
}

// The entry point for tests whose host callbacks throw C++ exceptions into a
// command. On 32-bit Windows such an exception cannot unwind through the
// DLL's frames: DWARF unwinding with a static libgcc in each module, so the
// test program's unwinder has no tables for the DLL. A real host calls a C
// interface and never throws, so there the same code linked into the test
// program is called instead.
inline PF_EntryFunc entryForThrowingHost() {
#if defined(_WIN32) && !defined(_WIN64)
    return &PluginEntry;
#else
    return loadedPlugin().entry();
#endif
}
#endif

// Nothing the plug-in acquired is still held, and nothing was released twice.
#define EXPECT_NOTHING_HELD(host)                                                           \
    EXPECT_TRUE((host).ledger().nothingHeld()) << (host).ledger().report()
