// The enable rule called directly with a context, as the commands build it.
#include "host/HostSuiteCache.h"
#include "host/Parameters.h"
#include "host/PluginEntry.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

using namespace refhost;

// Without the parameter array the state is read through a checkout at the
// current time and nothing is sent; a refused checkout is not checked in.
// With the array the checkbox keeps its other UI flags.
TEST(MotionErrorsState, ReadThroughACheckoutWithoutArrayOtherFlagsKeptWithIt) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    ASSERT_EQ(host.paramsSetup().err, PF_Err_NONE);
    host.setPopup(kParamMotionCompensation, kMotionBest);
    host.inData().current_time = 4004;
    {
        HostSuiteCache suites(host.inData().pica_basicP);
        applyMotionErrorsState({&host.inData(), nullptr, &suites});
    }
    EXPECT_EQ(host.ledger().calls("checkout_param"), 1);
    EXPECT_EQ(host.ledger().calls("checkin_param"), 1);
    EXPECT_EQ(host.lastCheckoutTime(), 4004);
    EXPECT_EQ(host.uiUpdates(), 0);
    EXPECT_NE(host.param(kParamCorrectMotionErrors).ui_flags & PF_PUI_DISABLED, 0);
    host.faults().failCheckoutParam = true;
    host.setPopup(kParamMotionCompensation, kMotionOff);
    applyMotionErrorsState({&host.inData(), nullptr, nullptr});
    EXPECT_EQ(host.ledger().calls("checkin_param"), 1);
    host.param(kParamCorrectMotionErrors).ui_flags = PF_PUI_NO_ECW_UI | PF_PUI_DISABLED;
    host.setPopup(kParamMotionCompensation, kMotionFast);
    host.inData().num_params = host.numParams(); // as a command would have it
    {
        HostSuiteCache suites(host.inData().pica_basicP);
        applyMotionErrorsState({&host.inData(), host.paramArray(), &suites});
    }
    EXPECT_EQ(host.param(kParamCorrectMotionErrors).ui_flags, PF_PUI_NO_ECW_UI);
    EXPECT_NOTHING_HELD(host);
}
