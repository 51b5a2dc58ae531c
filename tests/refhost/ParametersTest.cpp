#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

using namespace refhost;

namespace {

constexpr int kFields = 1, kMotion = 2, kCorrect = 3;

bool greyed(RefHost& host) { return (host.param(kCorrect).ui_flags & PF_PUI_DISABLED) != 0; }

} // namespace

// Each declaration's fields are pinned by the registration report; here what
// the report does not show: the current values, the calls it takes, and the
// stop at a failing add_param (the nth, or none), with its error.
TEST(ParamsSetup, DeclaresTheThreeParametersOrStopsAtAFailingAddParam) {
    for (int failing = 0; failing <= 3; ++failing) {
        SCOPED_TRACE(failing);
        const bool fails = failing != 0;
        RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
        host.faults().failAddParamAt = failing;
        host.faults().addParamError = PF_Err_INVALID_INDEX;
        const CommandResult result = host.paramsSetup();
        EXPECT_EQ(result.err, fails ? PF_Err_INVALID_INDEX : PF_Err_NONE);
        EXPECT_EQ(result.out.num_params, fails ? 0 : 4);
        EXPECT_EQ(host.numParams(), fails ? 1 : 4);
        EXPECT_EQ(host.ledger().calls("add_param"), fails ? failing : 3);
        EXPECT_EQ(host.ledger().calls("strcpy"), fails ? failing : 3);
        // The input layer and the parameters added before the failure.
        ASSERT_EQ(host.paramCount(), fails ? failing : 4);
        if (!fails) {
            EXPECT_EQ(host.param(kFields).u.pd.value, 1);
            EXPECT_EQ(host.param(kMotion).u.pd.value, 1);
            EXPECT_EQ(host.param(kCorrect).u.bd.value, 0);
        }
        EXPECT_NOTHING_HELD(host);
    }
}

// A change of "Motion Compensation" from each value to each value, including
// out-of-range host values (which count as "not Off"), updates the greyed
// state; a change of any other parameter updates nothing (the greyed state
// is left stale on purpose); update-params-UI applies the rule always.
TEST(EnableRule, FollowsMotionCompensationOnItsChangesAndOnUpdates) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    ASSERT_EQ(host.paramsSetup().err, PF_Err_NONE);
    ASSERT_TRUE(greyed(host));
    constexpr PF_ParamIndex kUpdate = 100;
    struct Step {
        A_long value;
        PF_ParamIndex changed; // kUpdate: update-params-UI
        bool greyed;
    };
    const Step steps[] = {
        {1, kMotion, true},   {2, kMotion, false}, {3, kMotion, false}, {4, kMotion, false},
        {1, kMotion, true},   {3, kMotion, false}, {1, kMotion, true},  {4, kMotion, false},
        {2, kMotion, false},  {0, kMotion, false}, {5, kMotion, false}, {-7, kMotion, false},
        {1, kMotion, true},   {3, 0, true},        {3, kFields, true},  {3, kCorrect, true},
        {3, 4, true},         {3, -1, true},       {3, kUpdate, false}, {1, kUpdate, true},
    };
    int updates = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "value " << step.value << " changed " << step.changed);
        host.setPopup(kMotion, step.value);
        const bool applies = step.changed == kMotion || step.changed == kUpdate;
        const int acquired = host.ledger().calls("AcquireSuite");
        const CommandResult result = step.changed == kUpdate ? host.updateParamsUI()
                                                             : host.userChangedParam(step.changed);
        EXPECT_EQ(result.err, PF_Err_NONE);
        EXPECT_FALSE(result.showsMessage());
        EXPECT_EQ(greyed(host), step.greyed);
        updates += applies ? 1 : 0;
        EXPECT_EQ(host.uiUpdates(), updates);
        EXPECT_EQ(host.ledger().calls("AcquireSuite") - acquired, applies ? 1 : 0);
        EXPECT_NOTHING_HELD(host);
    }
}

TEST(EnableRule, WithoutSuitesOrWhenTheUpdateThrowsReturnsZeroAndLeavesTheCheckboxAsIs) {
    struct Case {
        const char* name;
        HostProfile profile;
        std::function<void(FaultPlan&)> faults;
    };
    const Case cases[] = {
        {"KeyG", HostProfile::keyG(), [](FaultPlan&) {}},
        {"no basic suite", HostProfile::afterEffects().withoutBasicSuite(), [](FaultPlan&) {}},
        {"suite withheld", HostProfile::afterEffects().withholding(kPFParamUtilsSuite), [](FaultPlan&) {}},
        {"acquisition fails", HostProfile::afterEffects(),
         [](FaultPlan& f) { f.failAcquisition.insert(kPFParamUtilsSuite); }},
        {"acquisition yields null", HostProfile::afterEffects(),
         [](FaultPlan& f) { f.nullAcquisition.insert(kPFParamUtilsSuite); }},
        // An exception inside the rule stays there.
        {"update throws", HostProfile::afterEffects(),
         [](FaultPlan& f) { f.throwAt[CallbackSite::UpdateParamUI] = [] { throw std::bad_alloc(); }; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RefHost host(c.profile, entryForThrowingHost());
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
