#include "host/About.h"

#include "parallel/AEHost.h"
#include "sdk/AE_EffectCB.h"

#include <cstring>

const char* const kAboutText =
    "Velmora 2.3.3\rDeinterlacing by field interpolation or motion-compensated reconstruction.";

void copyAboutTextPlain(const char* text, char* dest, size_t capacity) {
    size_t length = 0;
    auto append = [&](const char* piece) {
        const size_t n = std::strlen(piece);
        if (length + n >= capacity)
            return false;
        std::memcpy(dest + length, piece, n);
        length += n;
        return true;
    };
    for (const char* p = text; *p != 0; ++p) {
        const unsigned char byte = static_cast<unsigned char>(*p);
        const char single[2] = {*p, 0};
        const char* piece = byte == 0xA9 ? "(C)" : byte == 0xAA ? "(R)" : single;
        if (!append(piece))
            break;
    }
    dest[length] = 0;
}

PF_Err aboutCommand(PF_InData* in_data, PF_OutData* out_data) {
    // "KeyG" gets no host callbacks at all.
    if (isKeyGHost(in_data))
        copyAboutTextPlain(kAboutText, out_data->return_msg, sizeof out_data->return_msg);
    else
        in_data->utils->ansi.strcpy(out_data->return_msg, kAboutText);
    return PF_Err_NONE;
}
