// Pre-analysis: the working intra matrix and the DC precision from the picture's DCT statistics.
#ifndef PICTOR_CONTROL_ANALYSIS_H
#define PICTOR_CONTROL_ANALYSIS_H

#include <cstdint>

#include "control/bit_estimate.h"
#include "control/threshold_search.h"

// The statistics are collected in parts of about equal work, for the job's threads: parts 0..2
// are the AnalysisComponents, luma's upper macroblock rows alone, and part 3 its lower rows.
constexpr int kStatisticsParts = 4;
constexpr int kLumaLowerRows = 3;

// Working storage of one pre-analysis.
struct AnalysisState {
    int32_t minWeight[64];  // smallest weight each position may take
    int32_t dcBits[3];      // DC bits of the picture at precision 0, 1, 2
    // Extended rule only, zeroed as its analysis starts: by part, then the parts' sums added
    // into the components' (BuildErrorTable adds those).
    ErrorSums errorSums[kStatisticsParts];
    ErrorTable errorTable;  // extended rule only, zeroed likewise
    // Extended rule, by part while collected, then part 0 the counts of every block.
    MagnitudeCounts* magnitudeCounts[kStatisticsParts];
};
extern thread_local AnalysisState* tAnalysis;
void ResetAnalysis();

// Transforms every block of the picture's (FrameWidth / 16) x (FrameHeight / 16) macroblocks
// from its top left into `store`, which has room for them, and from their coefficients fills
// the working intra matrix and IntraDCPrecision; 0.
[[nodiscard]] int AnalysePicture(int32_t target, CoefficientStore* store);
// One part of the statistics: name "Luma", "ChromaCb" or "ChromaCr" and the macroblock rows
// firstRow .. endRow - 1 of that component's blocks.
struct StatisticsPart {
    const char* name;
    int32_t firstRow;
    int32_t endRow;
    MagnitudeCounts* counts;  // the extended rule's magnitudes counted here, or null
    ErrorSums* sums;
    int32_t dcTotals[3];    // out
    int32_t minWeight[64];  // raised
    int32_t largest;        // out: the largest AC magnitude
};
void CollectComponentStatistics(const CoefficientStore& store, StatisticsPart* part);
// Raises minWeight[p] to (8a + 2047) / 2047 for the largest AC magnitude a seen at each position.
void RaiseMinimumWeights(const int32_t* largest, int32_t* minWeight);
// The simple rule: the default matrix scaled by estimated over available bits.
void ScaleDefaultMatrix(const CoefficientStore& coefficients, int32_t* matrix,
                        const int32_t* minWeight, const int32_t* dcBits, int32_t target);

#endif
