// What a host learns from the registration beside the library, and that
// global setup announces the same words.
#include "refhost/PluginReport.h"
#include "resources/Pipl.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

// A host reads only its own architecture's entry-point key: this build's
// registration carries it, and the same library registered for the other
// architecture is refused with the key named.
TEST(Registration, HostReadsOnlyItsOwnArchitecturesKey) {
    const std::string ownKey = sizeof(void*) == 8 ? "8664" : "wx86";
    EXPECT_EQ(loadedPlugin().entryPointKey(), ownKey);
    EXPECT_EQ(piplCString(piplProperty(loadedPlugin().registration(), ownKey)), "PluginEntry");
    std::ostringstream report;
    printPluginReport(report, VELMORA_PLUGIN_PATH);
    EXPECT_NE(report.str().find("entry point PluginEntry (key '" + ownKey + "')"), std::string::npos)
        << report.str();

    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-pipl-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path folder = pattern;
    struct Remove {
        std::filesystem::path path;
        ~Remove() { std::filesystem::remove_all(path); }
    } remove{folder};
    std::filesystem::copy_file(VELMORA_PLUGIN_PATH, folder / "Velmora.so");
    for (bool for64Bit : {false, true}) {
        const std::vector<uint8_t> bytes = Velmora::buildPipl(for64Bit);
        std::ofstream(folder / "Velmora.pipl", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (for64Bit == (sizeof(void*) == 8)) {
            EXPECT_EQ(PluginLibrary((folder / "Velmora.so").string()).entryPointName(), "PluginEntry");
            continue;
        }
        try {
            PluginLibrary other((folder / "Velmora.so").string());
            ADD_FAILURE() << "registered for the other architecture, yet loaded";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("'" + ownKey + "'"), std::string::npos) << e.what();
        }
    }
}
