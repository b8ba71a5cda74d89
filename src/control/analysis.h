// Pre-analysis: the working intra matrix and the DC precision from the picture's DCT statistics.
#ifndef PICTOR_CONTROL_ANALYSIS_H
#define PICTOR_CONTROL_ANALYSIS_H

#include <cstdint>

#include "control/bit_estimate.h"
#include "control/threshold_search.h"

// Working storage of one pre-analysis.
struct AnalysisState {
    int32_t minWeight[64];                // smallest weight each position may take
    int32_t dcBits[3];                    // DC bits of the picture at precision 0, 1, 2
    ErrorSums errorSums[3];               // extended rule only, zeroed as its analysis starts
    ErrorTable errorTable;                // extended rule only, zeroed as its analysis starts
    MagnitudeCounts* magnitudeCounts[3];  // extended rule, by AnalysisComponent, while collected
};
extern thread_local AnalysisState* tAnalysis;
void ResetAnalysis();

// Transforms every block of the picture's (FrameWidth / 16) x (FrameHeight / 16) macroblocks
// from its top left into `store`, which has room for them, and from their coefficients fills
// the working intra matrix and IntraDCPrecision; 0.
[[nodiscard]] int AnalysePicture(int32_t target, CoefficientStore* store);
// name: "Luma", "ChromaCb" or "ChromaCr"; the statistics of that component's blocks.
void CollectComponentStatistics(const char* name, const CoefficientStore& store, ErrorSums* sums,
                                int32_t* dcTotals, int32_t* minWeight);
// Raises minWeight[p] to (8a + 2047) / 2047 for the largest AC magnitude a seen at each position.
void RaiseMinimumWeights(const int32_t* largest, int32_t* minWeight);
// The simple rule: the default matrix scaled by estimated over available bits.
void ScaleDefaultMatrix(const CoefficientStore& coefficients, int32_t* matrix,
                        const int32_t* minWeight, const int32_t* dcBits, int32_t target);

#endif
