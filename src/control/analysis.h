// Pre-analysis: the working intra matrix and the DC precision from the picture's DCT statistics.
#ifndef PICTOR_CONTROL_ANALYSIS_H
#define PICTOR_CONTROL_ANALYSIS_H

#include <cstdint>

enum AnalysisComponent { kLuma = 0, kChromaCb = 1, kChromaCr = 2 };

// Error sums of one component: [position][weight], weight 0 unused.
typedef int32_t ErrorSums[64][128];

// Working storage of one pre-analysis.
struct AnalysisState {
    int32_t minWeight[64];       // smallest weight each position may take
    int32_t dcBits[3];           // DC bits of the picture at precision 0, 1, 2
    int32_t* coefficients[3];    // analysis coefficient planes, per component
    ErrorSums errorSums[3];      // extended rule only
    double errorTable[64][128];  // extended rule only
};
extern AnalysisState gAnalysis;

// Fills the working intra matrix and IntraDCPrecision; 0, or -1 (no message)
// when the analysis planes cannot be allocated.
int AnalysePicture(int32_t target);
// name: "Luma", "ChromaCb" or "ChromaCr".
void CollectComponentStatistics(const char* name, ErrorSums* sums, int32_t* dcTotals,
                                int32_t* minWeight);
// Raises minWeight[p] to (8|c| + 2047) / 2047 for every non-zero AC coefficient c of a block.
void RaiseMinimumWeights(const int32_t* coefficients, int32_t* minWeight);
// Estimated bits of the whole picture without DC for `matrix` and quantiser q.
int32_t EstimateAcBits(const int32_t* matrix, int q);
void QuantiseForEstimate(const int32_t* coefficients, int32_t* levels, const int32_t* matrix,
                         int q);
// scanned: levels in zig-zag order, positions 1..63 used.
int32_t CountAcBits(const int32_t* scanned);
int32_t AcCodeLength(int run, int level);
int32_t DcSizeCodeLength(int size, int isLuma);
// 0, 1 or 2 from the three lowest AC weights; also stored in IntraDCPrecision.
int ChooseDcPrecision(const int32_t* matrix);
int ScaleDefaultMatrix(int32_t* matrix, const int32_t* minWeight, const int32_t* dcBits,
                       int32_t target);

#endif
