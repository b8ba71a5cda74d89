// The pre-analysis's bit estimate as defined, block by block, to check the fast one against.
#ifndef PICTOR_TESTS_SUPPORT_REFERENCE_ESTIMATE_H
#define PICTOR_TESTS_SUPPORT_REFERENCE_ESTIMATE_H

#include <cstdint>

#include "control/bit_estimate.h"

// Levels of positions 1..63 for the estimate: (16|x| +- w/2) / w, then (t +- (3q + 2) / 4) / 2q,
// unlimited.
void QuantiseForEstimate(const int32_t* coefficients, int32_t* levels, const int32_t* matrix,
                         int q);
// scanned: levels in zig-zag order, positions 1..63 used; their codes and the end of block.
int32_t CountAcBits(const int32_t* scanned);
// Every block quantised, scanned and counted on its own, and one bit a macroblock.
int32_t ReferenceEstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q);

#endif
