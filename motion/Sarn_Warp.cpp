#include "motion/Sarn_Warp.h"

template class Sarn_Warp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum8>, Sarn_PixelPtr<Sarn_MotionUV>>;
template class Sarn_Warp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum16>, Sarn_PixelPtr<Sarn_MotionUV>>;
template class Sarn_Warp<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>, Sarn_PixelPtr<Sarn_MotionUV>>;
