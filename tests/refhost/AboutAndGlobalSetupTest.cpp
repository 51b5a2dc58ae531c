#include "host/About.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

using namespace refhost;

namespace {

const std::vector<std::string> kAllFormats = {"bgra", "vuya", "Bgra", "Vuya",
                                              "Argb", "BGra", "VUya", "ARgb"};

} // namespace

// KeyG gets the text without any host callback, the other hosts through
// their string copy; none is asked to show it.
TEST(About, TextThroughTheHostsStringCopyWhereItHasOne) {
    for (HostProfile profile : {HostProfile::keyG(), HostProfile::afterEffects(), HostProfile::premiere()}) {
        RefHost host(profile, loadedPlugin().entry());
        const CommandResult result = host.about();
        EXPECT_EQ(result.err, PF_Err_NONE);
        EXPECT_EQ(result.message(), kAboutText);
        EXPECT_FALSE(result.showsMessage());
        const int copies = profile.applId == kKeyG ? 0 : 1;
        EXPECT_EQ(host.ledger().calls("strcpy"), copies);
        EXPECT_EQ(host.ledger().totalCalls(), copies);
        EXPECT_NOTHING_HELD(host);
    }
}

// Where the suites are usable (After Effects announces the formats in the
// registration report), and where they are not: no error, nothing held.
TEST(GlobalSetup, AnnouncesFormatsInOrderWhereSuitesAreUsable) {
    struct Case {
        const char* name;
        HostProfile profile;
        std::vector<std::string> formats;
        int acquisitions; // world suite once, pixel format suite once per format
        FaultPlan faults{};
    };
    const Case cases[] = {
        {"Premiere Pro", HostProfile::premiere(), kAllFormats, 9},
        {"KeyG", HostProfile::keyG(), {}, 0},
        {"no basic suite", HostProfile::afterEffects().withoutBasicSuite(), {}, 0},
        {"pixel format suite withheld",
         HostProfile::afterEffects().withholding(kPFPixelFormatSuite), {}, 9},
        {"pixel format suite refused, world suite null", HostProfile::afterEffects(), {}, 9,
         [] {
             FaultPlan f;
             f.failAcquisition = {kPFPixelFormatSuite};
             f.nullAcquisition = {kPFWorldSuite};
             return f;
         }()},
        {"world suite withheld", HostProfile::afterEffects().withholding(kPFWorldSuite),
         kAllFormats, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RefHost host(c.profile, loadedPlugin().entry());
        host.faults() = c.faults;
        const CommandResult result = host.globalSetup();
        EXPECT_EQ(result.err, PF_Err_NONE);
        EXPECT_EQ(result.out.out_flags, 0x06001042); // the rest is in the registration report
        std::vector<std::string> formats;
        for (PrPixelFormat code : host.supportedPixelFormats())
            formats.push_back(fourCCText(code));
        EXPECT_EQ(formats, c.formats);
        EXPECT_EQ(host.ledger().calls("AcquireSuite"), c.acquisitions);
        EXPECT_NOTHING_HELD(host);
    }
}
