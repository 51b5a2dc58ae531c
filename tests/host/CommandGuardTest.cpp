// What the entry point's guard does with what a command returns or says; the
// exception table itself is driven through the loaded plug-in (EntryGuard).
#include "host/CommandGuard.h"
#include "host/PluginEntry.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

using namespace refhost;

TEST(CommandGuard, ReturnedErrorsPassSilentlyAndMessagesAreCutToTheField) {
    RefHost host(HostProfile::afterEffects(), &PluginEntry);
    PF_OutData out{};
    EXPECT_EQ(runGuarded(&host.inData(), &out, [] { return PF_Err(PF_Interrupt_CANCEL); }),
              PF_Interrupt_CANCEL);
    EXPECT_EQ(out.out_flags, 0);
    EXPECT_EQ(out.return_msg[0], 0);
    const std::string longMessage(1000, 'm');
    EXPECT_EQ(runGuarded(&host.inData(), &out, [&]() -> PF_Err { throw longMessage; }), 0);
    EXPECT_EQ(std::string(out.return_msg), std::string(PF_MAX_EFFECT_MSG_LEN, 'm'));
}
