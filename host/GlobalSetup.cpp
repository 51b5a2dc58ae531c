#include "host/GlobalSetup.h"

#include "parallel/AEHost.h"
#include "resources/EffectIdentity.h"

const std::array<PrPixelFormat, 8> kAnnouncedPixelFormats = {
    PrPixelFormat_BGRA_4444_8u,  PrPixelFormat_VUYA_4444_8u,  PrPixelFormat_BGRA_4444_16u,
    PrPixelFormat_VUYA_4444_16u, PrPixelFormat_ARGB_4444_16u, PrPixelFormat_BGRA_4444_32f,
    PrPixelFormat_VUYA_4444_32f, PrPixelFormat_ARGB_4444_32f};

PF_Err globalSetupCommand(PF_InData* in_data, PF_OutData* out_data) {
    out_data->my_version = Velmora::kEffectVersion;
    out_data->out_flags = Velmora::kOutFlags;
    out_data->out_flags2 = Velmora::kOutFlags2;
    AEHost host(in_data, nullptr, nullptr);
    // A host that refuses a format simply will not deliver it; nothing to do.
    for (PrPixelFormat code : kAnnouncedPixelFormats)
        host.addSupportedPixelFormat(code);
    return PF_Err_NONE;
}
