// The exception table and bad input, through the loaded plug-in's entry point.
// Host callbacks throw on request, so exceptions start inside a command while
// it holds host suites.
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct Unrelated {};

} // namespace

TEST(EntryGuard, ExceptionTableWithNothingLeftHeld) {
    struct Case {
        const char* name;
        CallbackSite site;
        std::function<void()> thrower;
        PF_Err err;
        const char* message; // nullptr: no message shown
    };
    const Case cases[] = {
        {"bad_alloc in global setup", CallbackSite::AddPixelFormat,
         [] { throw std::bad_alloc(); }, PF_Err_OUT_OF_MEMORY, nullptr},
        {"string in global setup", CallbackSite::AddPixelFormat,
         [] { throw std::string("Host message."); }, PF_Err_NONE, "Host message."},
        {"int in global setup", CallbackSite::AddPixelFormat,
         [] { throw int(PF_Err_BAD_CALLBACK_PARAM); }, PF_Err_INTERNAL_STRUCT_DAMAGED,
         "Unknown internal error"},
        {"anything else in global setup", CallbackSite::AddPixelFormat, [] { throw Unrelated(); },
         PF_Err_INTERNAL_STRUCT_DAMAGED, "Unknown internal error"},
        {"bad_alloc in parameter setup", CallbackSite::AddParam, [] { throw std::bad_alloc(); },
         PF_Err_OUT_OF_MEMORY, nullptr},
        {"int in parameter setup", CallbackSite::AddParam, [] { throw int(7); },
         PF_Err_INTERNAL_STRUCT_DAMAGED, "Unknown internal error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
        host.faults().throwAt[c.site] = c.thrower;
        const CommandResult result =
            c.site == CallbackSite::AddParam ? host.paramsSetup() : host.globalSetup();
        EXPECT_EQ(result.err, c.err);
        if (c.message == nullptr) {
            EXPECT_FALSE(result.showsMessage());
        } else {
            EXPECT_TRUE(result.showsMessage());
            EXPECT_EQ(result.message(), c.message);
        }
        EXPECT_NOTHING_HELD(host);
    }
}

TEST(EntryGuard, ExceptionsInsideTheEnableRuleStayThere) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    ASSERT_EQ(host.paramsSetup().err, PF_Err_NONE);
    host.faults().throwAt[CallbackSite::UpdateParamUI] = [] { throw std::bad_alloc(); };
    host.setPopup(2, 3);
    const CommandResult result = host.userChangedParam(2);
    EXPECT_EQ(result.err, PF_Err_NONE);
    EXPECT_FALSE(result.showsMessage());
    EXPECT_NOTHING_HELD(host);
}

TEST(BadInput, SmartCommandsWithIncompleteRecordsAreRefused) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    ASSERT_EQ(host.paramsSetup().err, PF_Err_NONE);
    PF_PreRenderExtra preRender{};
    PF_SmartRenderExtra smartRender{};
    CommandCall pre;
    pre.extra = &preRender;
    CommandCall smart;
    smart.extra = &smartRender;
    smart.passParams = false;
    for (const auto& [cmd, call] :
         {std::pair{PF_Cmd_SMART_PRE_RENDER, pre}, std::pair{PF_Cmd_SMART_RENDER, smart}}) {
        SCOPED_TRACE(cmd);
        const CommandResult result = host.command(cmd, call);
        EXPECT_EQ(result.err, PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_FALSE(result.showsMessage());
        EXPECT_NOTHING_HELD(host);
    }
}

TEST(BadInput, NullRecordsAreRefusedByHandledCommands) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    PF_UserChangedParamExtra changed{2};
    PF_PreRenderExtra preRender{};
    PF_SmartRenderExtra smartRender{};
    const std::pair<PF_Cmd, void*> commands[] = {
        {PF_Cmd_ABOUT, nullptr},          {PF_Cmd_GLOBAL_SETUP, nullptr},
        {PF_Cmd_PARAMS_SETUP, nullptr},   {PF_Cmd_RENDER, nullptr},
        {PF_Cmd_USER_CHANGED_PARAM, &changed}, {PF_Cmd_UPDATE_PARAMS_UI, nullptr},
        {PF_Cmd_SMART_PRE_RENDER, &preRender}, {PF_Cmd_SMART_RENDER, &smartRender}};
    for (const auto& [cmd, extra] : commands) {
        for (bool nullIn : {false, true}) {
            SCOPED_TRACE(testing::Message() << "cmd " << cmd << (nullIn ? " in" : " out"));
            CommandCall call;
            call.extra = extra;
            call.nullInData = nullIn;
            call.nullOutData = !nullIn;
            EXPECT_EQ(host.command(cmd, call).err, PF_Err_BAD_CALLBACK_PARAM);
        }
    }
    EXPECT_EQ(host.ledger().totalCalls(), 0);
    EXPECT_NOTHING_HELD(host);
}

TEST(BadInput, MissingArrayOrExtraRecord) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    ASSERT_EQ(host.paramsSetup().err, PF_Err_NONE);
    PF_EffectWorld output{};
    CommandCall noParams;
    noParams.passParams = false;
    noParams.output = &output;
    EXPECT_EQ(host.command(PF_Cmd_RENDER, noParams).err, PF_Err_BAD_CALLBACK_PARAM);
    CommandCall noOutput;
    EXPECT_EQ(host.command(PF_Cmd_RENDER, noOutput).err, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.command(PF_Cmd_SMART_PRE_RENDER).err, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.command(PF_Cmd_SMART_RENDER).err, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.command(PF_Cmd_USER_CHANGED_PARAM).err, PF_Err_BAD_CALLBACK_PARAM);

    // Without the array the value is still read (checked out and in), but
    // there is no definition to send.
    host.setPopup(2, 4);
    CommandCall bare;
    bare.passParams = false;
    EXPECT_EQ(host.command(PF_Cmd_UPDATE_PARAMS_UI, bare).err, PF_Err_NONE);
    EXPECT_EQ(host.ledger().calls("checkout_param"), 1);
    EXPECT_EQ(host.uiUpdates(), 0);
    EXPECT_NOTHING_HELD(host);
}

TEST(BadInput, UnhandledSelectorsReturnZeroAndTouchNothing) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    CommandCall call;
    std::memset(&call.outSeed, 0x5A, sizeof call.outSeed);
    for (PF_Cmd cmd : std::initializer_list<PF_Cmd>{PF_Cmd_UNUSED_0, PF_Cmd_GLOBAL_SETDOWN, PF_Cmd_SEQUENCE_SETUP,
                       PF_Cmd_DO_DIALOG, PF_Cmd_FRAME_SETUP, PF_Cmd_EVENT, PF_Cmd_AUDIO_RENDER,
                       PF_Cmd(25), PF_Cmd(1000), PF_Cmd(-1)}) {
        SCOPED_TRACE(cmd);
        const CommandResult result = host.command(cmd, call);
        EXPECT_EQ(result.err, PF_Err_NONE);
        EXPECT_EQ(std::memcmp(&result.out, &call.outSeed, sizeof result.out), 0);
        CommandCall nulls;
        nulls.nullInData = nulls.nullOutData = true;
        EXPECT_EQ(host.command(cmd, nulls).err, PF_Err_NONE);
    }
    EXPECT_EQ(host.ledger().totalCalls(), 0);
    EXPECT_NOTHING_HELD(host);
}
