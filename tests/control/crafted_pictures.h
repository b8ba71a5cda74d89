// Pictures made to drive the rate control to its edges.
#ifndef PICTOR_TESTS_CONTROL_CRAFTED_PICTURES_H
#define PICTOR_TESTS_CONTROL_CRAFTED_PICTURES_H

#include <cstdint>

#include "control/test_pictures.h"

// An 8x8 block whose 63 AC coefficients all have magnitude `amplitude` (random
// signs) around mean 127.5: costly at any quantiser once the weights are fine.
void FlatSpectrumBlock(uint8_t* dst, int stride, int amplitude, uint32_t* seed);
// Flat grey 720 x 576 with `count` flat-spectrum macroblocks, each in a row of its own.
SourcePicture CostlyMacroblocks(int count);
// Flat luma with one last row of black-and-white noise, noisy chroma: the final
// pass runs over 1,800,000 bits once at Target 1,800,000.
SourcePicture CostlyLastRow();

#endif
