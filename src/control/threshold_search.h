// Extended pre-analysis: the distortion-threshold matrix search.
#ifndef PICTOR_CONTROL_THRESHOLD_SEARCH_H
#define PICTOR_CONTROL_THRESHOLD_SEARCH_H

#include <cstdint>

#include "control/analysis.h"

// Process-wide; lastEstimateQ is 0 when the library is loaded and is never
// reset between jobs.
struct ThresholdState {
    float threshold;
    int32_t lastEstimateQ;
};
extern ThresholdState gThreshold;
// Back to the state of a freshly loaded library (for tests; jobs never call it).
void ResetThresholdState();

// Per block: raises the minimum weights and adds the squared errors of weights 1..127.
void ErrorStatistics(const int32_t* coefficients, ErrorSums* sums, int32_t* minWeight);
void BuildErrorTable(ErrorSums* sums /* [3] */, double (*table)[128], const int32_t* minWeight);
int TryThreshold(float start, float step, double (*table)[128], const int32_t* minWeight,
                 int32_t target, const int32_t* dcBits, int32_t* matrix, int q, int final);
int SearchThreshold(double (*table)[128], int32_t* matrix, const int32_t* minWeight,
                    const int32_t* dcBits, int32_t target);

// The estimate of a search: the result of EstimateAcBits over the stored
// coefficients, from per-block lists of the non-zero coefficients. Prepare after
// the analysis coefficients are complete; -1 when the lists cannot be allocated
// or a coefficient lies outside -4095..4095, and the search then estimates with
// EstimateAcBits itself.
int PrepareSearchEstimate();
int32_t SearchEstimateAcBits(const int32_t* matrix, int q);
void ReleaseSearchEstimate();

#endif
