#include "image/Sarn_ClearMem.h"

template class Sarn_ClearMem<Sarn_AE_Environ>;
