// Exceptions and bad input, through the loaded plug-in's entry point.
// Host callbacks throw on request, so exceptions start inside a command while
// it holds host suites.
#include "refhost/RenderDriver.h"
#include "tests/refhost/RenderTestFrames.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace refhost;

namespace {

struct Unrelated {};

} // namespace

// What an exception thrown inside a command gives through the entry point,
// with nothing left held: a message is shown, and fails a render (it has not
// written its output) but not the other commands.
TEST(EntryGuard, ExceptionTableWithNothingLeftHeld) {
    struct Outcome {
        PF_Err err;
        bool shown;
        std::string message;
    };
    const Clip clip = rendertest::clipOf(PF_PixelFormat_ARGB32, 12, 8, 3, 5);
    auto render = [&clip](Protocol protocol, A_long motion) {
        return [&clip, protocol, motion](RefHost& host) {
            RenderDriver driver(host);
            const RenderResult r = driver.render(clip, 2, rendertest::withMotion(motion), protocol);
            return Outcome{r.err, r.showsMessage, r.message};
        };
    };
    auto setup = [](bool params) {
        return [params](RefHost& host) {
            const CommandResult r = params ? host.paramsSetup() : host.globalSetup();
            return Outcome{r.err, r.showsMessage(), r.message()};
        };
    };
    auto message = [] { throw std::string("Disk full."); };
    struct Case {
        const char* name;
        CallbackSite site;
        std::function<void()> thrower;
        std::function<Outcome(RefHost&)> run;
        Outcome expected;
    };
    // Smart "Off" checks its parameters out; legacy "Fast" its earlier frame.
    const Case cases[] = {
        {"bad_alloc in global setup", CallbackSite::AddPixelFormat, [] { throw std::bad_alloc(); },
         setup(false), {PF_Err_OUT_OF_MEMORY, false, ""}},
        {"message in global setup", CallbackSite::AddPixelFormat, message, setup(false),
         {PF_Err_NONE, true, "Disk full."}},
        {"anything else in parameter setup", CallbackSite::AddParam, [] { throw Unrelated(); },
         setup(true), {PF_Err_INTERNAL_STRUCT_DAMAGED, true, "Unknown internal error"}},
        {"message in a smart render", CallbackSite::CheckoutParam, message, render(Protocol::Smart, 1),
         {PF_Err_INTERNAL_STRUCT_DAMAGED, true, "Disk full."}},
        {"message in a legacy render", CallbackSite::CheckoutParam, message, render(Protocol::Legacy, 2),
         {PF_Err_INTERNAL_STRUCT_DAMAGED, true, "Disk full."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RefHost host(HostProfile::afterEffects(), entryForThrowingHost());
        host.faults().throwAt[c.site] = c.thrower;
        const Outcome o = c.run(host);
        EXPECT_EQ(o.err, c.expected.err);
        EXPECT_EQ(o.shown, c.expected.shown);
        EXPECT_EQ(o.message, c.expected.message);
        EXPECT_NOTHING_HELD(host);
    }
}

// Every selector: the handled ones refuse a null input or output record
// (516), the others answer 0 without reading either record or writing the
// output record. Nothing reaches the host. Then the missing arrays and extra
// records of the commands that need them.
TEST(BadInput, NullOrMissingRecordsRefusedOtherSelectorsTouchNothing) {
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
    // Parameters declared: a render without the parameter array or the output,
    // a parameter change without its extra record.
    ASSERT_EQ(host.paramsSetup().err, PF_Err_NONE);
    PF_EffectWorld output{};
    CommandCall noParams;
    noParams.passParams = false;
    noParams.output = &output;
    EXPECT_EQ(host.command(PF_Cmd_RENDER, noParams).err, PF_Err_BAD_CALLBACK_PARAM);
    CommandCall noOutput;
    EXPECT_EQ(host.command(PF_Cmd_RENDER, noOutput).err, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.command(PF_Cmd_USER_CHANGED_PARAM).err, PF_Err_BAD_CALLBACK_PARAM);
    // Smart commands without their extra record, or with one whose records
    // are missing, are refused without a message.
    CommandCall pre, smart;
    pre.extra = &preRender;
    smart.extra = &smartRender;
    smart.passParams = false;
    for (const auto& [cmd, call] :
         {std::pair{PF_Cmd_SMART_PRE_RENDER, CommandCall{}}, std::pair{PF_Cmd_SMART_RENDER, CommandCall{}},
          std::pair{PF_Cmd_SMART_PRE_RENDER, pre}, std::pair{PF_Cmd_SMART_RENDER, smart}}) {
        const CommandResult result = host.command(cmd, call);
        EXPECT_EQ(result.err, PF_Err_BAD_CALLBACK_PARAM) << cmd;
        EXPECT_FALSE(result.showsMessage());
    }
    EXPECT_NOTHING_HELD(host);
}

// A host whose callback tables lack a function a command calls gets 516 from
// that command, with nothing held, instead of a call through a null pointer.
// A basic suite without its acquire function counts as no basic suite.
TEST(BadInput, MissingHostCallbacksGiveAnErrorCode) {
    using Spoil = void (*)(RefHost&, PF_UtilCallbacks&);
    struct Case {
        const char* name;
        Protocol protocol;
        Spoil spoil;
        PF_Err err = PF_Err_BAD_CALLBACK_PARAM;
    };
    const Case cases[] = {
        {"utils", Protocol::Legacy, [](RefHost& h, PF_UtilCallbacks&) { h.inData().utils = nullptr; }},
        {"copy", Protocol::Legacy, [](RefHost&, PF_UtilCallbacks& u) { u.copy = nullptr; }},
        {"fill", Protocol::Smart, [](RefHost&, PF_UtilCallbacks& u) { u.fill = nullptr; }},
        {"new_world", Protocol::Legacy, [](RefHost&, PF_UtilCallbacks& u) { u.new_world = nullptr; }},
        {"dispose_world", Protocol::Smart, [](RefHost&, PF_UtilCallbacks& u) { u.dispose_world = nullptr; }},
        {"host_new_handle", Protocol::Smart, [](RefHost&, PF_UtilCallbacks& u) { u.host_new_handle = nullptr; }},
        {"host_lock_handle", Protocol::Legacy, [](RefHost&, PF_UtilCallbacks& u) { u.host_lock_handle = nullptr; }},
        {"host_unlock_handle", Protocol::Smart, [](RefHost&, PF_UtilCallbacks& u) { u.host_unlock_handle = nullptr; }},
        {"host_dispose_handle", Protocol::Legacy, [](RefHost&, PF_UtilCallbacks& u) { u.host_dispose_handle = nullptr; }},
        {"sqrt", Protocol::Smart, [](RefHost&, PF_UtilCallbacks& u) { u.ansi.sqrt = nullptr; }},
        {"ceil", Protocol::Legacy, [](RefHost&, PF_UtilCallbacks& u) { u.ansi.ceil = nullptr; }},
        {"floor", Protocol::Smart, [](RefHost&, PF_UtilCallbacks& u) { u.ansi.floor = nullptr; }},
        {"checkout_param", Protocol::Smart, [](RefHost& h, PF_UtilCallbacks&) { h.inData().inter.checkout_param = nullptr; }},
        {"checkin_param", Protocol::Legacy, [](RefHost& h, PF_UtilCallbacks&) { h.inData().inter.checkin_param = nullptr; }},
        {"checkout_layer", Protocol::Smart, [](RefHost& h, PF_UtilCallbacks&) { h.preRenderCallbacks()->checkout_layer = nullptr; }},
        {"checkout_layer_pixels", Protocol::Smart, [](RefHost& h, PF_UtilCallbacks&) { h.smartRenderCallbacks()->checkout_layer_pixels = nullptr; }},
        {"checkin_layer_pixels", Protocol::Smart, [](RefHost& h, PF_UtilCallbacks&) { h.smartRenderCallbacks()->checkin_layer_pixels = nullptr; }},
        {"checkout_output", Protocol::Smart, [](RefHost& h, PF_UtilCallbacks&) { h.smartRenderCallbacks()->checkout_output = nullptr; }},
        {"AcquireSuite", Protocol::Smart, [](RefHost& h, PF_UtilCallbacks&) { h.inData().pica_basicP->AcquireSuite = nullptr; }, PF_Err_NONE},
    };
    const Clip clip = rendertest::clipOf(PF_PixelFormat_ARGB32, 12, 8, 3, 2);
    RenderParams fast;
    fast.motion = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
        RenderDriver driver(host);
        PF_UtilCallbacks utils = *host.inData().utils;
        SPBasicSuite basic = *host.inData().pica_basicP;
        host.inData().utils = &utils;
        host.inData().pica_basicP = &basic;
        c.spoil(host, utils);
        const RenderResult r = driver.render(clip, 2, fast, c.protocol);
        EXPECT_EQ(r.err, c.err);
        EXPECT_NOTHING_HELD(host);
    }
    // The commands around the render: the string copy and add_param.
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    PF_UtilCallbacks utils = *host.inData().utils;
    utils.ansi.strcpy = nullptr;
    host.inData().utils = &utils;
    EXPECT_EQ(host.about().err, PF_Err_BAD_CALLBACK_PARAM);
    host.inData().inter.add_param = nullptr;
    EXPECT_EQ(host.paramsSetup().err, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.ledger().totalCalls(), 0);
}

// Entries past the host's parameter count (num_params) are not the plug-in's
// to read: poisoned ones there change nothing; the values come from
// check-outs, and the greyed state, which needs entry 3, is not sent.
TEST(BadInput, ParameterArrayIsReadOnlyUpToItsCount) {
    RefHost host(HostProfile::afterEffects(), loadedPlugin().entry());
    ASSERT_EQ(host.paramsSetup().err, PF_Err_NONE);
    host.setPopup(2, 3);
    // Read, they would fail the render (no such choice) and send entry 3.
    PF_ParamDef poisonPopup{}, poisonCheckbox{};
    poisonPopup.param_type = PF_Param_POPUP;
    poisonPopup.u.pd.value = 9;
    poisonCheckbox.param_type = PF_Param_CHECKBOX;
    PF_EffectWorld layer = host.makeHostWorld(8, 6, PF_PixelFormat_ARGB32, "layer");
    PF_EffectWorld output = host.makeHostWorld(8, 6, PF_PixelFormat_ARGB32, "output");
    PF_ParamDef layerParam = host.param(0);
    layerParam.u.ld = layer;
    PF_ParamDef* params[] = {&layerParam, host.paramArray()[1], &poisonPopup, &poisonCheckbox};
    PF_UserChangedParamExtra changed{2};
    struct Case {
        PF_Cmd cmd;
        A_long count;
        void* extra;
        PF_LayerDef* output;
    };
    for (const Case& c : {Case{PF_Cmd_RENDER, 1, nullptr, &output},
                          Case{PF_Cmd_UPDATE_PARAMS_UI, 2, nullptr, nullptr},
                          Case{PF_Cmd_USER_CHANGED_PARAM, 2, &changed, nullptr}}) {
        SCOPED_TRACE(c.cmd);
        host.ledger().resetCalls();
        host.inData().num_params = c.count;
        PF_OutData out{};
        EXPECT_EQ(loadedPlugin().entry()(c.cmd, &host.inData(), &out, params, c.output, c.extra),
                  PF_Err_NONE);
        EXPECT_GE(host.ledger().calls("checkout_param"), 1);
        EXPECT_EQ(host.uiUpdates(), 0);
    }
    host.disposeHostWorld(&layer);
    host.disposeHostWorld(&output);
    EXPECT_NOTHING_HELD(host);
}
