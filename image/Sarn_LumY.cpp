#include "image/Sarn_LumY.h"

template class Sarn_LumY<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_PixelPtr<Sarn_Lum8>>;
template class Sarn_LumY<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_PixelPtr<Sarn_Lum16>>;
template class Sarn_LumY<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_PixelPtr<Sarn_LumF>>;
