// Extended pre-analysis: the distortion-threshold matrix search.
#ifndef PICTOR_CONTROL_THRESHOLD_SEARCH_H
#define PICTOR_CONTROL_THRESHOLD_SEARCH_H

#include <cstdint>

#include "control/bit_estimate.h"

// Squared-error sums of one component by [position][weight]; weight 0 unused.
typedef int32_t ErrorSums[64][128];
// Mean squared error per block by [position][weight]; -1 below the position's least weight.
typedef double ErrorTable[64][128];

// The threshold of the matrix the last stage accepted.
struct ThresholdState {
    float threshold;
};
extern thread_local ThresholdState* tThreshold;
void ResetThresholdState();

// Carried from job to job on purpose: the IFixedQstep at which a search last fell back to a
// finer estimate quantiser. It is 0 when the library is loaded and no job resets it, so whether
// a search may step over an unchanged matrix without estimating it depends on the jobs run
// before in the same process.
struct CarriedSearchState {
    int32_t lastEstimateQ;
};
extern thread_local CarriedSearchState* tCarriedSearch;
// Back to the state of a freshly loaded library (for tests; jobs never call it).
void ResetCarriedSearchState();

// Squared quantisation errors by magnitude 0..2048 (all the transform gives) and weight, built
// when the library is; larger magnitudes take the formula. Every term fits 16 bits (the largest
// is 5776); weight 0 holds 0, so a whole row of 128 can be added without a test and sums[p][0]
// stays 0.
constexpr int kTabulatedMagnitudes = 2049;
constexpr int kWeights = 128;
struct ErrorTermTable {
    uint16_t term[kTabulatedMagnitudes][kWeights];
};
extern const ErrorTermTable kErrorTerms;

// MagnitudeCounts (control/level_lists.h): how many AC coefficients of each magnitude 0..2048
// each position has, [magnitude][position], so the small magnitudes that most coefficients have
// share a few pages.
static_assert(sizeof(MagnitudeCounts) == sizeof(uint32_t) * kTabulatedMagnitudes * 64, "");

// Estimated AC bits of the matrices already tried during one search. The estimate is a
// function of the matrix and q over the same stored coefficients, so a repeated matrix gets
// its earlier figure without re-quantising.
constexpr int kRememberedEstimates = 64;
struct EstimateMemo {
    int32_t active;
    int32_t listed;  // the search estimate's arrays are ready
    int32_t count;
    int32_t next;
    int32_t q[kRememberedEstimates];
    int32_t bits[kRememberedEstimates];
    int32_t matrix[kRememberedEstimates][64];
};
extern thread_local EstimateMemo* tMemo;
void ResetEstimateMemo();

// What one search works from, and the working intra matrix it fills.
struct ThresholdSearch {
    CoefficientStore coefficients;
    const double (*errors)[128];  // the ErrorTable
    const int32_t* minWeight;
    const int32_t* dcBits;  // DC bits of the picture at precision 0, 1, 2
    int32_t target;
    int32_t* matrix;
    // The magnitude counts of the coefficients, or null.
    const MagnitudeCounts* counts;
};

// Per block: raises the minimum weights and adds the squared errors of weights 1..127.
void ErrorStatistics(const int32_t* coefficients, ErrorSums* sums, int32_t* minWeight);
// The squared errors of weights 1..127 of all the coefficients counted, added to sums: what
// ErrorStatistics adds for them block by block (the sums wrap as 32-bit integers either way).
// Magnitudes above `largest` have no count. Positions firstPosition .. endPosition - 1 only.
void AddCountedErrors(const MagnitudeCounts& counts, int32_t largest, ErrorSums* sums,
                      int firstPosition = 1, int endPosition = 64);
void BuildErrorTable(const ErrorSums* sums /* [3] */, ErrorTable table, const int32_t* minWeight);
// One stage: from threshold `start` in steps of `step` until a matrix fits the budget at
// estimate quantiser q (the first matrix when `final` is set); leaves the matrix, its
// threshold and its DC precision.
void TryThreshold(const ThresholdSearch& search, float start, float step, int q, int final);
void SearchThreshold(const ThresholdSearch& search);

#endif
