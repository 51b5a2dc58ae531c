// The entry point's exception guard: turns whatever escapes a command into
// the host's terms, so that no exception crosses into the host.
#pragma once

#include "parallel/KelException.h"
#include "sdk/AE_Effect.h"

#include <new>
#include <string>
#include <utility>

// Copies `message` into out_data->return_msg with the host's string copy
// (cut to what the field holds) and asks the host to show it.
void showHostMessage(PF_InData* in_data, PF_OutData* out_data, const std::string& message);

extern const char* const kUnknownInternalError;

// What a std::string message means for the command: for most commands the
// message is all there is to say (the code stays 0); a render that ends in a
// message has not written its output, so it fails with 512.
enum class MessageOutcome { Succeeds, Fails };

// bad_alloc -> 4; a std::string -> shown, the code 0 or 512 by `outcome`;
// anything else -> "Unknown internal error" shown and 512. Errors returned
// by `command` pass unchanged.
template <class Command>
PF_Err runGuarded(PF_InData* in_data, PF_OutData* out_data, MessageOutcome outcome,
                  Command&& command) {
    PF_Err err = PF_Err_NONE;
    try {
        err = command();
    } catch (const std::bad_alloc&) {
        err = PF_Err_OUT_OF_MEMORY;
    } catch (const std::string& message) {
        showHostMessage(in_data, out_data, message);
        if (outcome == MessageOutcome::Fails)
            err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    } catch (...) {
        showHostMessage(in_data, out_data, kUnknownInternalError);
        err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    return err;
}

template <class Command>
PF_Err runGuarded(PF_InData* in_data, PF_OutData* out_data, Command&& command) {
    return runGuarded(in_data, out_data, MessageOutcome::Succeeds,
                      std::forward<Command>(command));
}
