// Macroblock fetch and reload, and the intra quantiser.
#ifndef PICTOR_CODING_QUANTISE_H
#define PICTOR_CODING_QUANTISE_H

#include <cstdint>

#include "coding/transform.h"

// Working intra matrix, raster order (index = 8 x row + column): derived by the
// pre-analysis, carried in the sequence header, used by the quantiser. Entry 0 is
// 8 once the pre-analysis ends.
struct IntraMatrix {
    int32_t weights[64];
};
extern IntraMatrix gIntraMatrix;
void ResetIntraMatrix();

// Six blocks Y0..Y3, Cb, Cr of the macroblock at luma (x, y), widened to 32 bits.
void FetchMacroblock(const SamplePlanes& picture, int x, int y, int32_t* samples);
// From the samples: ForwardDct then QuantiseIntraBlock for each block.
void TransformAndQuantise(int q, int32_t* samples, int32_t* coefficients, int32_t* levels);
// From stored coefficients, as the coding passes quantise: QuantiseIntraBlock for each block.
void QuantiseMacroblock(int q, const int32_t* coefficients, int32_t* levels);
// The six blocks of macroblock mb of the store, back in raster order.
void LoadMacroblock(const CoefficientStore& store, int32_t mb, int32_t* coefficients);
// One block with quantiser_scale_code q and the working intra matrix; DC by IntraDCPrecision.
void QuantiseIntraBlock(int q, const int32_t* coefficients, int32_t* levels);

#endif
