// The band loop of a library job whose rows go to a tiered row kernel: the
// kernel is chosen once per band, then called with one row record per row.
#pragma once

#include "parallel/JobBinding.h"
#include "parallel/Sarn_SetThreadCount.h"
#include "parallel/SimdTiers.h"

#include <cstdint>

// Runs the current tier of `kernels` over the rows of band `index` of
// [top, bottom). `row` comes holding what every row shares; placeRow(row, y)
// points it at row y and returns false for a row the kernel is to skip.
template <class Row, class PlaceRow>
void runRowKernelBand(const SimdTiers<void (*)(const Row&)>& kernels, int index, int32_t top, int32_t bottom,
                      Row row, PlaceRow placeRow) {
    const BandRange band = bandRows(index, Sarn_GetThreadCount(), top, bottom);
    const auto kernel = kernels.current();
    for (int32_t y = band.begin; y < band.end; ++y)
        if (placeRow(row, y))
            kernel(row);
}
