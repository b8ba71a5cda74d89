// Estimated bits of a picture for the pre-analysis: code lengths, the whole-picture AC
// estimate over the analysis coefficients, the DC precision a matrix implies, and the matrix
// search's incremental evaluation of the same estimate.
#ifndef PICTOR_CONTROL_BIT_ESTIMATE_H
#define PICTOR_CONTROL_BIT_ESTIMATE_H

#include <cstdint>

#include "coding/transform.h"

enum AnalysisComponent { kLuma = 0, kChromaCb = 1, kChromaCr = 2 };

// Length of the dct_dc_size code of `size`; a size above 11 costs itself.
[[nodiscard]] int32_t DcSizeCodeLength(int size, int isLuma);
// Length of the intra AC code of (run, level), sign included, or of its escape.
[[nodiscard]] int32_t AcCodeLength(int run, int level);
// Estimated bits of the whole picture without DC for `matrix` and quantiser q.
[[nodiscard]] int32_t EstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q);
// 0, 1 or 2 from the three lowest AC weights.
[[nodiscard]] int ChooseDcPrecision(const int32_t* matrix);

// The search's own evaluation of EstimateAcBits. The stored coefficients do not change during
// a search, so the non-zero AC coefficients of every block are listed once in scan order, with
// each one's current level and each block's bits. A later matrix with the same q re-quantises
// only the coefficients of the positions whose weight changed and recounts only the blocks
// where a level changed. Every level and code length is the one EstimateAcBits would find, so
// the sums agree.
constexpr int kLookedUpMagnitudes = 256;
constexpr int kTabledRuns = 63;
constexpr int kTabledLevels = 64;
struct SearchEstimate {
    int32_t ready;
    int32_t valid;  // levels and block bits belong to matrix and q below
    int32_t q;
    int32_t matrix[64];
    int64_t total;
    int32_t blocks;
    int32_t macroblocks;
    void* storage;     // one tracked block holding every array below
    uint32_t* listed;  // per coefficient, block after block
    uint16_t* level;
    int32_t* blockOf;
    int32_t* byPosition;  // coefficient numbers grouped by position
    int32_t positionStart[65];
    int32_t* blockEnd;  // coefficients of block b end at blockEnd[b]
    int32_t* blockBits;
    int32_t* dirty;  // blocks to recount
    uint8_t* isDirty;
    uint8_t codeLength[kTabledRuns][kTabledLevels];  // AcCodeLength; 0 for level 0
    uint16_t lookup[64][kLookedUpMagnitudes];        // levels of the small magnitudes
};
extern SearchEstimate gEstimate;
void ResetSearchEstimate();

// Lists the coefficients once they are complete; -1 when the lists cannot be allocated or a
// coefficient lies outside -4095..4095.
[[nodiscard]] int PrepareSearchEstimate(const CoefficientStore& store);
[[nodiscard]] int32_t SearchEstimateAcBits(const int32_t* matrix, int q);
void ReleaseSearchEstimate();

#endif
