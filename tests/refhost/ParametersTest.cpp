#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

using namespace refhost;

namespace {

constexpr int kFields = 1, kMotion = 2, kCorrect = 3;

bool greyed(RefHost& host) { return (host.param(kCorrect).ui_flags & PF_PUI_DISABLED) != 0; }

} // namespace

// Each declaration's fields are pinned by the registration report; here what
// the report does not show: the current values and the calls it takes.
TEST(ParamsSetup, DeclaresTheThreeParametersWithTheirDefaultsAsValues) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    const CommandResult result = host.paramsSetup();
    ASSERT_EQ(result.err, PF_Err_NONE);
    EXPECT_EQ(result.out.num_params, 4);
    ASSERT_EQ(host.numParams(), 4);
    EXPECT_EQ(host.param(kFields).u.pd.value, 1);
    EXPECT_EQ(host.param(kMotion).u.pd.value, 1);
    EXPECT_EQ(host.param(kCorrect).u.bd.value, 0);
    EXPECT_EQ(host.ledger().calls("strcpy"), 3);
    EXPECT_NOTHING_HELD(host);
}

TEST(ParamsSetup, StopsAtAFailingAddParamWithItsError) {
    for (int failing = 1; failing <= 3; ++failing) {
        SCOPED_TRACE(failing);
        RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
        host.faults().failAddParamAt = failing;
        host.faults().addParamError = PF_Err_INVALID_INDEX;
        const CommandResult result = host.paramsSetup();
        EXPECT_EQ(result.err, PF_Err_INVALID_INDEX);
        EXPECT_EQ(result.out.num_params, 0);
        EXPECT_EQ(host.numParams(), 1);
        EXPECT_EQ(host.ledger().calls("add_param"), failing);
        EXPECT_EQ(host.paramCount(), failing); // the input layer and those before the failure
        EXPECT_NOTHING_HELD(host);
    }
}

TEST(EnableRule, FollowsEveryChangeOfMotionCompensation) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    ASSERT_EQ(host.paramsSetup().err, PF_Err_NONE);
    ASSERT_TRUE(greyed(host));
    // From each value to each value, including out-of-range host values,
    // which count as "not Off".
    const A_long values[] = {1, 2, 3, 4, 1, 3, 1, 4, 2, 0, 5, -7, 1};
    int updates = 0;
    for (A_long value : values) {
        SCOPED_TRACE(value);
        host.setPopup(kMotion, value);
        const CommandResult result = host.userChangedParam(kMotion);
        EXPECT_EQ(result.err, PF_Err_NONE);
        EXPECT_FALSE(result.showsMessage());
        EXPECT_EQ(greyed(host), value == 1);
        EXPECT_EQ(host.uiUpdates(), ++updates);
        EXPECT_NOTHING_HELD(host);
    }
}

TEST(EnableRule, OtherParametersChangeNothing) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    ASSERT_EQ(host.paramsSetup().err, PF_Err_NONE);
    host.setPopup(kMotion, 3); // greyed state now stale on purpose
    for (PF_ParamIndex index : {0, kFields, kCorrect, 4, -1}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(host.userChangedParam(index).err, PF_Err_NONE);
        EXPECT_TRUE(greyed(host));
        EXPECT_EQ(host.uiUpdates(), 0);
        EXPECT_EQ(host.ledger().calls("AcquireSuite"), 0);
    }
    EXPECT_NOTHING_HELD(host);
}

TEST(EnableRule, UpdateParamsUiAppliesItUnconditionally) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    ASSERT_EQ(host.paramsSetup().err, PF_Err_NONE);
    host.setPopup(kMotion, 2);
    EXPECT_EQ(host.updateParamsUI().err, PF_Err_NONE);
    EXPECT_FALSE(greyed(host));
    host.setPopup(kMotion, 1);
    EXPECT_EQ(host.updateParamsUI().err, PF_Err_NONE);
    EXPECT_TRUE(greyed(host));
    EXPECT_EQ(host.uiUpdates(), 2);
    EXPECT_EQ(host.ledger().calls("AcquireSuite"), 2);
    EXPECT_EQ(host.ledger().calls("ReleaseSuite"), 2);
    EXPECT_NOTHING_HELD(host);
}

TEST(EnableRule, WithoutSuitesReturnsZeroAndLeavesTheCheckboxAsIs) {
    struct Case {
        const char* name;
        HostProfile profile;
        std::function<void(FaultPlan&)> faults;
    };
    const Case cases[] = {
        {"KeyG", HostProfile::keyG(), [](FaultPlan&) {}},
        {"no basic suite", HostProfile::afterEffects().withoutBasicSuite(), [](FaultPlan&) {}},
        {"param utils withheld", HostProfile::afterEffects().withholding(kPFParamUtilsSuite),
         [](FaultPlan&) {}},
        {"acquisition fails", HostProfile::afterEffects(),
         [](FaultPlan& f) { f.failAcquisition.insert(kPFParamUtilsSuite); }},
        {"acquisition yields null", HostProfile::afterEffects(),
         [](FaultPlan& f) { f.nullAcquisition.insert(kPFParamUtilsSuite); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RefHost host(c.profile, loadedPlugin().entry());
        ASSERT_EQ(host.paramsSetup().err, PF_Err_NONE);
        c.faults(host.faults());
        host.setPopup(kMotion, 4);
        for (const CommandResult& result : {host.userChangedParam(kMotion), host.updateParamsUI()}) {
            EXPECT_EQ(result.err, PF_Err_NONE);
            EXPECT_FALSE(result.showsMessage());
        }
        EXPECT_TRUE(greyed(host));
        EXPECT_EQ(host.uiUpdates(), 0);
        EXPECT_NOTHING_HELD(host);
        if (std::string(c.name) == "KeyG") {
            EXPECT_EQ(host.ledger().calls("AcquireSuite"), 0);
        }
    }
}
