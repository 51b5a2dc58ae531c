#include "image/Sarn_Lum.h"

template class Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_PixelPtr<Sarn_Lum8>, Sarn_OrderARGB>;
template class Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel8>, Sarn_PixelPtr<Sarn_Lum8>, Sarn_OrderRGBA>;
template class Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_PixelPtr<Sarn_Lum16>, Sarn_OrderARGB>;
template class Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Pixel16>, Sarn_PixelPtr<Sarn_Lum16>, Sarn_OrderRGBA>;
template class Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_PixelPtr<Sarn_LumF>, Sarn_OrderARGB>;
template class Sarn_Lum<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_PixelF>, Sarn_PixelPtr<Sarn_LumF>, Sarn_OrderRGBA>;
