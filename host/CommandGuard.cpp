#include "host/CommandGuard.h"

#include "sdk/AE_EffectCB.h"

#include <algorithm>
#include <cstring>

const char* const kUnknownInternalError = "Unknown internal error";

void showHostMessage(PF_InData* in_data, PF_OutData* out_data, const std::string& message) {
    // The host's strcpy knows no bounds: hand it at most what return_msg holds.
    char text[sizeof out_data->return_msg];
    const size_t length = std::min(message.size(), sizeof text - 1);
    std::memcpy(text, message.data(), length);
    text[length] = 0;
    if (in_data->utils != nullptr && in_data->utils->ansi.strcpy != nullptr)
        in_data->utils->ansi.strcpy(out_data->return_msg, text);
    else
        std::memcpy(out_data->return_msg, text, length + 1);
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
}
