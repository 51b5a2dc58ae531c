// The about command: the effect's name and version as the host's message.
#pragma once

#include "sdk/AE_Effect.h"

#include <cstddef>

extern const char* const kAboutText;

// Copies `text` into `dest` (capacity `capacity`, at least 1) byte by byte,
// spelling 0xA9 as "(C)" and 0xAA as "(R)", always zero-terminated; what does
// not fit is cut off.
void copyAboutTextPlain(const char* text, char* dest, size_t capacity);

PF_Err aboutCommand(PF_InData* in_data, PF_OutData* out_data);
