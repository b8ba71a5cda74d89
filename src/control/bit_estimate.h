// Estimated bits of a picture for the pre-analysis: code lengths, the whole-picture AC
// estimate over the analysis coefficients, the DC precision a matrix implies, and the matrix
// search's incremental evaluation of the same estimate.
#ifndef PICTOR_CONTROL_BIT_ESTIMATE_H
#define PICTOR_CONTROL_BIT_ESTIMATE_H

#include <cstdint>

enum AnalysisComponent { kLuma = 0, kChromaCb = 1, kChromaCr = 2 };

// The analysis coefficients of a width x height picture: per component, each 8x8 block's
// coefficients at the block's own sample positions (row length width, chroma width / 2).
struct AnalysisPlanes {
    const int32_t* plane[3];  // by AnalysisComponent
    int32_t width;
    int32_t height;
};

// Length of the dct_dc_size code of `size`; a size above 11 costs itself.
[[nodiscard]] int32_t DcSizeCodeLength(int size, int isLuma);
// Length of the intra AC code of (run, level), sign included, or of its escape.
[[nodiscard]] int32_t AcCodeLength(int run, int level);
// Estimated bits of the whole picture without DC for `matrix` and quantiser q.
[[nodiscard]] int32_t EstimateAcBits(const AnalysisPlanes& planes, const int32_t* matrix, int q);
// 0, 1 or 2 from the three lowest AC weights.
[[nodiscard]] int ChooseDcPrecision(const int32_t* matrix);

// The estimate of a search: the result of EstimateAcBits over the same coefficients, from
// per-block lists of the non-zero coefficients that a later matrix re-quantises only where its
// weights changed. Prepare once the analysis coefficients are complete; -1 when the lists
// cannot be allocated or a coefficient lies outside -4095..4095.
[[nodiscard]] int PrepareSearchEstimate(const AnalysisPlanes& planes);
[[nodiscard]] int32_t SearchEstimateAcBits(const int32_t* matrix, int q);
void ReleaseSearchEstimate();

#endif
