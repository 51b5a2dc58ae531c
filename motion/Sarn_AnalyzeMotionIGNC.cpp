#include "motion/Sarn_AnalyzeMotionIGNC.h"

template class Sarn_AnalyzeMotionIGNC<Sarn_PixelPtr<Sarn_Lum8>,
                                      Sarn_IGNC<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum8>, IGNC_ParamsFastSobel>>;
template class Sarn_AnalyzeMotionIGNC<Sarn_PixelPtr<Sarn_Lum16>,
                                      Sarn_IGNC<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum16>, IGNC_ParamsFastSobel>>;
template class Sarn_AnalyzeMotionIGNC<Sarn_PixelPtr<Sarn_LumF>,
                                      Sarn_IGNC<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>, IGNC_ParamsFastSobel>>;
