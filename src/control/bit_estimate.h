// Estimated bits of a picture for the pre-analysis: code lengths, the whole-picture AC estimate
// over the analysis coefficients, and the DC precision a matrix implies.
#ifndef PICTOR_CONTROL_BIT_ESTIMATE_H
#define PICTOR_CONTROL_BIT_ESTIMATE_H

#include <cstdint>

#include "coding/transform.h"

enum AnalysisComponent { kLuma = 0, kChromaCb = 1, kChromaCr = 2 };

// Length of the dct_dc_size code of `size`; a size above 11 costs itself.
[[nodiscard]] int32_t DcSizeCodeLength(int size, int isLuma);
// Length of the intra AC code of (run, level), sign included, or of its escape.
[[nodiscard]] int32_t AcCodeLength(int run, int level);
// Estimated bits of the whole picture without DC for `matrix` and quantiser q: every block
// quantised as the coding passes quantise (a level's limit to 2047 changes no length: beyond 40
// every level escapes) and its codes counted, 2 bits for its end, 1 bit a macroblock.
[[nodiscard]] int32_t EstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q);
// 0, 1 or 2 from the three lowest AC weights.
[[nodiscard]] int ChooseDcPrecision(const int32_t* matrix);

#endif
