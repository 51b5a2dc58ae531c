// What a host learns from the registration beside the library and from the
// plug-in's first commands, as `velmora info` reports it.
#include "refhost/PluginReport.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace refhost;

// What `velmora info` prints: each registration property decoded by its kind,
// and the plug-in's answers to about, global setup and parameter setup.
TEST(Registration, ReportShowsWhatTheHostLearns) {
    std::ostringstream out;
    EXPECT_TRUE(printPluginReport(out, VELMORA_PLUGIN_PATH));
    // The entry-point key is the architecture's: '8664' on 64-bit, 'wx86' on 32-bit.
    const std::string key = PluginLibrary::kEntryPointKey;
    EXPECT_EQ(out.str(), std::string("Plug-in ") + VELMORA_PLUGIN_PATH + R"(
  entry point PluginEntry (key ')" + key + R"('), match name "Morvik Velmora"
Registration (13 properties)
  8BIM kind  eFKT
  8BIM name  "Velmora"
  8BIM catg  "Corvell Pellin Suite"
  8BIM )" + key + R"(  "PluginEntry"
  8BIM ePVR  02 00 00 00
  8BIM eSVR  0C 00 02 00
  8BIM eVER  0x00119E00
  8BIM eINF  00 00
  8BIM eGLO  0x06001042
  8BIM eGL2  0x00001408
  8BIM eMNA  "Morvik Velmora"
  8BIM aeFL  0x00000008
  8BIM aeRD  0x00000000
About
  Velmora 2.3.3 Deinterlacing by field interpolation or motion-compensated reconstruction.
Global setup: error 0, version 0x00119E00, out flags 0x06001042, out flags 2 0x00001408
Accepted pixel formats: "bgra" "vuya" "Bgra" "Vuya" "Argb" "BGra" "VUya" "ARgb"
Parameters (4)
  0  layer (input)
  1  popup "Fields" id 1, 2 choices "Upper Field First|Lower Field First", default 1, flags 0x00000000, ui flags 0x00000000
  2  popup "Motion Compensation" id 2, 4 choices "Off|Fast|Better|Best", default 1, flags 0x00000040, ui flags 0x00000000 supervised
  3  checkbox "" id 3, label "Correct Motion Errors", default 0, flags 0x00000000, ui flags 0x00000020 greyed
)");
}

TEST(Registration, LibraryWithoutRegistrationIsRefused) {
    EXPECT_THROW(PluginLibrary("/nonexistent/Nothing.so"), std::exception);
    EXPECT_EQ(PluginLibrary::registrationPathFor("/a/b.c/Velmora.so"), "/a/b.c/Velmora.pipl");
    EXPECT_EQ(PluginLibrary::registrationPathFor("/a/b.c/Velmora"), "/a/b.c/Velmora.pipl");
}
