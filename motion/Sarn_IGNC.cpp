// The solver's three instances, one per luminance depth, are built here so
// that every template compiles with the library.
#include "motion/Sarn_IGNC.h"
#include "motion/IGNC_ParamsFastSobel.h"
#include "parallel/Sarn_Thread.h"

template class Sarn_IGNC<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum8>, IGNC_ParamsFastSobel>;
template class Sarn_IGNC<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum16>, IGNC_ParamsFastSobel>;
template class Sarn_IGNC<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>, IGNC_ParamsFastSobel>;
template class IGNC_ParamsFastSobel::GradientThread<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum8>>;
template class IGNC_ParamsFastSobel::GradientThread<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum16>>;
template class IGNC_ParamsFastSobel::GradientThread<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_LumF>>;
