// The pre-analysis's bit estimate as defined, block by block, to check the fast one against.
#ifndef PICTOR_TESTS_SUPPORT_REFERENCE_ESTIMATE_H
#define PICTOR_TESTS_SUPPORT_REFERENCE_ESTIMATE_H

#include <cstdint>

#include "control/bit_estimate.h"

// Every block quantised, scanned and counted on its own, and one bit a macroblock.
int32_t ReferenceEstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q);

#endif
