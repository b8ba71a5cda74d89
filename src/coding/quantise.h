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
extern thread_local IntraMatrix* tIntraMatrix;
void ResetIntraMatrix();

// Six blocks Y0..Y3, Cb, Cr of the macroblock at luma (x, y), widened to 32 bits.
void FetchMacroblock(const SamplePlanes& picture, int x, int y, int32_t* samples);
// The six blocks of macroblock mb of the store, back in raster order.
void LoadMacroblock(const CoefficientStore& store, int32_t mb, int32_t* coefficients);
// One block of coefficients within -2048..2047 (all the transform gives) with
// quantiser_scale_code q and the working intra matrix; DC at intra_dc_precision `dcPrecision`.
void QuantiseIntraBlock(int q, int dcPrecision, const int32_t* coefficients, int32_t* levels);

// One macroblock's quantised levels: blocks Y0..Y3, Cb, Cr, each in scan order, and per block
// its non-zero levels at scan indices 1..63 as bits (bit k for index k).
struct ScannedLevels {
    int16_t level[6][64];
    uint64_t nonZero[6];
};
// The non-zero levels at scan indices 1..63 of a block in scan order, as bits.
[[nodiscard]] uint64_t NonZeroLevelBits(const int16_t* level);
// The largest magnitude at scan indices 1..63 of a block in scan order.
[[nodiscard]] int32_t LargestAcMagnitude(const int16_t* block);

// The working intra matrix as the quantiser divides by it, by scan index: each weight's half,
// and the weight's reciprocal in single precision. (16|c| + w/2) / w is the truncation of
// (16|c| + w/2 + 0.5) x (1/w): the quotient is exact to far better than the 0.5/w that keeps the
// half-step offset from every integer, so no division is needed; likewise for the step 2q.
struct ScanQuantiser;
// Scan indices 16g .. 16g + 15 form level group g; bit g of a group mask selects it.
constexpr uint32_t kAllLevelGroups = 0xF;
// One block's AC levels in the selected groups by one instruction set; the non-zero ones as bits
// (none outside the groups).
using AcQuantiser = uint64_t (*)(const ScanQuantiser& quantiser, float stepReciprocal,
                                 int32_t offset, const int16_t* coefficients, int16_t* levels,
                                 uint32_t groups);
struct ScanQuantiser {
    alignas(64) int32_t halfWeight[64];
    alignas(64) float reciprocal[64];
    AcQuantiser quantiseAc;
};
// From a matrix in raster order (weights 1..255), with the vector code of the instruction set of
// `variant` (the portable code for the reference and scalar transforms). Every instruction set
// gives the same levels.
void PrepareScanQuantiser(const int32_t* matrix, ScanQuantiser* quantiser,
                          DctVariant variant = ChosenDctVariant());
// The AC levels of one block of coefficients in scan order at quantiser_scale_code q, limited
// to -2047..2047 (index 0 gets the AC rule too), in the selected level groups; returns the
// non-zero ones at indices 1..63 of those groups as bits.
[[nodiscard]] uint64_t QuantiseAcLevels(const ScanQuantiser& quantiser, int q,
                                        const int16_t* coefficients, int16_t* levels,
                                        uint32_t groups = kAllLevelGroups);
// QuantiseIntraBlock of the six blocks of a macroblock's stored coefficients (scan order),
// with the quantiser of the working intra matrix.
void QuantiseScanned(const ScanQuantiser& quantiser, int q, int dcPrecision,
                     const int16_t* coefficients, ScannedLevels* levels);

#endif
