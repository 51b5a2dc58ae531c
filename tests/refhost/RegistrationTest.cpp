// What a host learns from the registration beside the library, and that
// global setup announces the same words.
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

TEST(Registration, HostFindsEntryPointAndMatchNameThroughIt) {
    PluginLibrary& plugin = loadedPlugin();
    EXPECT_EQ(plugin.entryPointName(), "PluginEntry");
    EXPECT_EQ(plugin.matchName(), "Morvik Velmora");
    EXPECT_EQ(plugin.registration().size(), 13u);
    EXPECT_EQ(piplPascalString(piplProperty(plugin.registration(), "name")), "Velmora");
    EXPECT_EQ(piplPascalString(piplProperty(plugin.registration(), "catg")),
              "Corvell Pellin Suite");
    EXPECT_NE(plugin.entry(), nullptr);
}

TEST(Registration, GlobalSetupAnnouncesTheRegisteredWords) {
    PluginLibrary& plugin = loadedPlugin();
    RefHost host(HostProfile::afterEffects(), plugin.entry());
    ASSERT_EQ(host.globalSetup().err, PF_Err_NONE);
    const auto& registration = plugin.registration();
    EXPECT_EQ(host.announcedVersion(), piplUint32(piplProperty(registration, "eVER")));
    EXPECT_EQ(uint32_t(host.announcedOutFlags()), piplUint32(piplProperty(registration, "eGLO")));
    EXPECT_EQ(uint32_t(host.announcedOutFlags2()), piplUint32(piplProperty(registration, "eGL2")));
    EXPECT_EQ(host.announcedVersion(), 0x00119E00u);
    EXPECT_EQ(host.announcedOutFlags(), 0x06001042);
    EXPECT_EQ(host.announcedOutFlags2(), 0x00001408);
    EXPECT_NOTHING_HELD(host);
}

TEST(Registration, LibraryWithoutRegistrationIsRefused) {
    EXPECT_THROW(PluginLibrary("/nonexistent/Nothing.so"), std::exception);
    EXPECT_EQ(PluginLibrary::registrationPathFor("/a/b.c/Velmora.so"), "/a/b.c/Velmora.pipl");
    EXPECT_EQ(PluginLibrary::registrationPathFor("/a/b.c/Velmora"), "/a/b.c/Velmora.pipl");
}
