// Extended pre-analysis: the distortion-threshold matrix search.
#ifndef PICTOR_CONTROL_THRESHOLD_SEARCH_H
#define PICTOR_CONTROL_THRESHOLD_SEARCH_H

#include <cstdint>

#include "control/bit_estimate.h"

// Squared-error sums of one component by [position][weight]; weight 0 unused.
typedef int32_t ErrorSums[64][128];
// Mean squared error per block by [position][weight]; -1 below the position's least weight.
typedef double ErrorTable[64][128];

// Process-wide; lastEstimateQ is 0 when the library is loaded and is never
// reset between jobs.
struct ThresholdState {
    float threshold;
    int32_t lastEstimateQ;
};
extern ThresholdState gThreshold;
// Back to the state of a freshly loaded library (for tests; jobs never call it).
void ResetThresholdState();

// What one search works from, and the working intra matrix it fills.
struct ThresholdSearch {
    AnalysisPlanes coefficients;
    const double (*errors)[128];  // the ErrorTable
    const int32_t* minWeight;
    const int32_t* dcBits;  // DC bits of the picture at precision 0, 1, 2
    int32_t target;
    int32_t* matrix;
};

// Per block: raises the minimum weights and adds the squared errors of weights 1..127.
void ErrorStatistics(const int32_t* coefficients, ErrorSums* sums, int32_t* minWeight);
void BuildErrorTable(const ErrorSums* sums /* [3] */, ErrorTable table, const int32_t* minWeight);
// One stage: from threshold `start` in steps of `step` until a matrix fits the budget at
// estimate quantiser q (the first matrix when `final` is set); leaves the matrix, its
// threshold and its DC precision.
void TryThreshold(const ThresholdSearch& search, float start, float step, int q, int final);
void SearchThreshold(const ThresholdSearch& search);

#endif
