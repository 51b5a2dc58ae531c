// The entry point's exception table, driven in-process with commands that
// hold a host suite when they throw.
#include "host/CommandGuard.h"
#include "host/HostSuiteCache.h"
#include "host/PluginEntry.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

using namespace refhost;

namespace {

struct Outcome {
    PF_Err err;
    std::string message;
    bool shown;
};

template <class Thrower>
Outcome guardedThrow(RefHost& host, Thrower thrower) {
    PF_OutData out{};
    const PF_Err err = runGuarded(&host.inData(), &out, [&]() -> PF_Err {
        HostSuiteCache suites(host.inData().pica_basicP);
        suites.paramUtilsSuite();
        thrower();
        return PF_Err_NONE;
    });
    return {err, out.return_msg, (out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0};
}

struct Unrelated {};

} // namespace

TEST(CommandGuard, MapsEachKindOfExceptionAndReleasesWhatWasHeld) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);

    Outcome o = guardedThrow(host, [] { throw std::bad_alloc(); });
    EXPECT_EQ(o.err, PF_Err_OUT_OF_MEMORY);
    EXPECT_FALSE(o.shown);
    EXPECT_NOTHING_HELD(host);

    o = guardedThrow(host, [] { throw std::string("Shown to the user."); });
    EXPECT_EQ(o.err, PF_Err_NONE);
    EXPECT_EQ(o.message, "Shown to the user.");
    EXPECT_TRUE(o.shown);
    EXPECT_NOTHING_HELD(host);

    o = guardedThrow(host, [] { throw int(PF_Err_BAD_CALLBACK_PARAM); });
    EXPECT_EQ(o.err, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(o.message, "Unknown internal error");
    EXPECT_TRUE(o.shown);
    EXPECT_NOTHING_HELD(host);

    o = guardedThrow(host, [] { throw Kel::Exception("Place", "not for the user"); });
    EXPECT_EQ(o.err, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(o.message, "Unknown internal error");
    EXPECT_NOTHING_HELD(host);

    o = guardedThrow(host, [] { throw Unrelated(); });
    EXPECT_EQ(o.err, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(o.message, "Unknown internal error");
    EXPECT_NOTHING_HELD(host);
    EXPECT_EQ(host.ledger().calls("AcquireSuite"), 5);
    EXPECT_EQ(host.ledger().calls("strcpy"), 4);  // every shown message through the host's copy
}

TEST(CommandGuard, ReturnedErrorsPassUnchangedAndSilently) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_OutData out{};
    EXPECT_EQ(runGuarded(&host.inData(), &out, [] { return PF_Err(PF_Interrupt_CANCEL); }),
              PF_Interrupt_CANCEL);
    EXPECT_EQ(out.out_flags, 0);
    EXPECT_EQ(out.return_msg[0], 0);
}

TEST(CommandGuard, CutsAMessageLongerThanTheHostField) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_OutData out{};
    const std::string longMessage(1000, 'm');
    EXPECT_EQ(runGuarded(&host.inData(), &out, [&]() -> PF_Err { throw longMessage; }), 0);
    EXPECT_EQ(std::string(out.return_msg), std::string(PF_MAX_EFFECT_MSG_LEN, 'm'));
}
