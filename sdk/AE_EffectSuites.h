// The named host suites Velmora acquires through the basic suite, and the
// pixel format codes of the host interface.
#pragma once

#include "AE_Effect.h"

// Pixel format: four-character code, first character in the lowest byte.
typedef A_long PF_PixelFormat;
typedef A_long PrPixelFormat;

enum : A_long {
    PF_PixelFormat_ARGB32 = PF_FOURCC_LE('a', 'r', 'g', 'b'),
    PF_PixelFormat_ARGB64 = PF_FOURCC_LE('a', 'e', '1', '6'),
    PF_PixelFormat_ARGB128 = PF_FOURCC_LE('a', 'e', '3', '2'),
    PrPixelFormat_BGRA_4444_8u = PF_FOURCC_LE('b', 'g', 'r', 'a'),
    PrPixelFormat_VUYA_4444_8u = PF_FOURCC_LE('v', 'u', 'y', 'a'),
    PrPixelFormat_ARGB_4444_16u = PF_FOURCC_LE('A', 'r', 'g', 'b'),
    PrPixelFormat_BGRA_4444_16u = PF_FOURCC_LE('B', 'g', 'r', 'a'),
    PrPixelFormat_VUYA_4444_16u = PF_FOURCC_LE('V', 'u', 'y', 'a'),
    PrPixelFormat_ARGB_4444_32f = PF_FOURCC_LE('A', 'R', 'g', 'b'),
    PrPixelFormat_BGRA_4444_32f = PF_FOURCC_LE('B', 'G', 'r', 'a'),
    PrPixelFormat_VUYA_4444_32f = PF_FOURCC_LE('V', 'U', 'y', 'a'),
    PF_PixelFormat_INVALID = PF_FOURCC_LE('b', 'a', 'd', 'f')
};

#define kPFPixelFormatSuite "PF Pixel Format Suite"
#define kPFPixelFormatSuiteVersion2 2

typedef struct PF_PixelFormatSuite2 {
    PF_Err (*AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PrPixelFormat pixelFormat);
    PF_Err (*ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
    // The host's table holds the two functions only: `reserved` marks its end
    // and takes no room.
    void* reserved[0];
} PF_PixelFormatSuite2;

#define kPFWorldSuite "PF World Suite"
#define kPFWorldSuiteVersion2 2

typedef struct PF_WorldSuite2 {
    PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, A_long widthL, A_long heightL,
                          PF_Boolean clear_pixB, PF_PixelFormat pixel_format,
                          PF_EffectWorld* worldP);
    PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* worldP);
    PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* worldP, PF_PixelFormat* pixel_formatP);
} PF_WorldSuite2;

#define kPFParamUtilsSuite "PF Param Utils Suite"
#define kPFParamUtilsSuiteVersion1 2

typedef struct PF_ParamUtilsSuite1 {
    PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                               const PF_ParamDef* defP);
    // Keyframe and state functions Velmora never calls.
    void* reserved;
    void* reserved_more[8];
} PF_ParamUtilsSuite1;
