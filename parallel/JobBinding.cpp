#include "parallel/JobBinding.h"

void dispatchBand(int32_t index, int32_t count, int32_t threadIndex, void* refcon) {
    const JobBinding* binding = static_cast<const JobBinding*>(refcon);
    binding->method(binding->object, index, count, threadIndex);
}
