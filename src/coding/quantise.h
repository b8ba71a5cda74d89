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
// The six blocks of macroblock mb of the store, back in raster order.
void LoadMacroblock(const CoefficientStore& store, int32_t mb, int32_t* coefficients);
// One block of coefficients within -2048..2047 (all the transform gives) with
// quantiser_scale_code q and the working intra matrix; DC by IntraDCPrecision.
void QuantiseIntraBlock(int q, const int32_t* coefficients, int32_t* levels);

// One macroblock's quantised levels: blocks Y0..Y3, Cb, Cr, each in scan order, and per block
// its non-zero levels at scan indices 1..63 as bits (bit k for index k).
struct ScannedLevels {
    int16_t level[6][64];
    uint64_t nonZero[6];
};
// The non-zero levels at scan indices 1..63 of a block in scan order, as bits.
[[nodiscard]] uint64_t NonZeroLevelBits(const int16_t* level);

// The working intra matrix as the quantiser divides by it, by scan index: each weight's half,
// and the weight's reciprocal in single precision. (16|c| + w/2) / w is the truncation of
// (16|c| + w/2 + 0.5) x (1/w): the quotient is exact to far better than the 0.5/w that keeps the
// half-step offset from every integer, so no division is needed; likewise for the step 2q.
struct ScanQuantiser {
    int32_t halfWeight[64];
    float reciprocal[64];
};
// From the working intra matrix as it stands.
void PrepareScanQuantiser(ScanQuantiser* quantiser);
// QuantiseIntraBlock of the six blocks of a macroblock's stored coefficients (scan order).
void QuantiseScanned(const ScanQuantiser& quantiser, int q, const int16_t* coefficients,
                     ScannedLevels* levels);

#endif
