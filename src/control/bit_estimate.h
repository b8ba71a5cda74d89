// Estimated bits of a picture for the pre-analysis: code lengths, the whole-picture AC estimate
// over the analysis coefficients, and the DC precision a matrix implies.
#ifndef PICTOR_CONTROL_BIT_ESTIMATE_H
#define PICTOR_CONTROL_BIT_ESTIMATE_H

#include <cstdint>

#include "coding/quantise.h"
#include "coding/transform.h"
#include "control/level_lists.h"

enum AnalysisComponent { kLuma = 0, kChromaCb = 1, kChromaCr = 2 };

// Length of the dct_dc_size code of `size`; a size above 11 costs itself.
[[nodiscard]] int32_t DcSizeCodeLength(int size, int isLuma);
// Length of the intra AC code of (run, level), sign included, or of its escape.
[[nodiscard]] int32_t AcCodeLength(int run, int level);
// Estimated bits of the whole picture without DC for `matrix` and quantiser q: every block
// quantised as the coding passes quantise (a level's limit to 2047 changes no length: beyond 40
// every level escapes) and its codes counted, 2 bits for its end, 1 bit a macroblock.
// `shared`: the blocks are split between the job's threads.
[[nodiscard]] int32_t EstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q,
                                     bool shared = true);
// 0, 1 or 2 from the three lowest AC weights.
[[nodiscard]] int ChooseDcPrecision(const int32_t* matrix);

// The matrix search's evaluation of EstimateAcBits. The stored coefficients do not change during
// a search, so every block's level magnitudes (all 64 as far as the code lengths tell them apart,
// index 0 held at 0), their non-zero bits and the block's bits are kept from one estimate to the
// next: a later matrix or quantiser changes only the levels it changes, found through the lists
// of the coefficients by scan index and magnitude, and follows the code lengths that change; when
// most levels change every block is quantised anew. Every level and length is the one
// EstimateAcBits finds, so the sums agree.
struct SearchEstimate {
    int32_t valid;  // the arrays below belong to `matrix` and `q`
    int32_t q;
    int32_t matrix[64];
    int64_t blocks;
    int64_t total;        // the blocks' bits
    void* storage;        // one tracked block holding the arrays below
    uint8_t* magnitudes;  // 64 per block, as the store: min(|level|, kLargestTabledMagnitude)
    uint64_t* nonZero;    // per block
    int32_t* bits;        // per block
    int16_t* largest;     // per block: its largest AC magnitude
    LevelLists lists;     // the stored coefficients by scan index and magnitude
};
extern thread_local SearchEstimate* tEstimate;
void ResetSearchEstimate();
// Room for the store's blocks and their lists (from the magnitude counts of the store's
// coefficients when `counts` is not null); -1 when it cannot be allocated (EstimateAcBits serves
// then).
[[nodiscard]] int PrepareSearchEstimate(const CoefficientStore& store,
                                        const MagnitudeCounts* counts = nullptr);
[[nodiscard]] int32_t SearchEstimateAcBits(const CoefficientStore& store, const int32_t* matrix,
                                           int q);
void ReleaseSearchEstimate();

#endif
