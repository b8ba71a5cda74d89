// Macroblock fetch, coefficient store and the intra quantiser.
#ifndef PICTOR_CODING_QUANTISE_H
#define PICTOR_CODING_QUANTISE_H

#include <cstdint>

// Working intra matrix, raster order (index = 8 x row + column): derived by the
// pre-analysis, carried in the sequence header, used by the quantiser. Entry 0 is
// 8 once the pre-analysis ends.
struct IntraMatrix {
    int32_t weights[64];
};
extern IntraMatrix gIntraMatrix;
void ResetIntraMatrix();

constexpr int kBlocksPerMacroblock = 6;
constexpr int kMacroblockValues = kBlocksPerMacroblock * 64;

// Signed 16-bit DCT coefficients; each block stored as an 8x8 patch at its samples.
struct CoefficientPlane {
    int32_t width;
    int32_t height;
    int16_t* data;
};
struct CoefficientPlanes {
    CoefficientPlane y;   // FrameWidth x FrameHeight
    CoefficientPlane cb;  // FrameWidth/2 x FrameHeight/2
    CoefficientPlane cr;
};

// The picture's samples: Y of row length `width`, 4:2:0 Cb and Cr of row length width / 2; the
// coded area starts at (codedX, codedY) of the luma plane.
struct SamplePlanes {
    const uint8_t* y;
    const uint8_t* cb;
    const uint8_t* cr;
    int32_t width;
    int32_t codedX;
    int32_t codedY;
};

// Six blocks Y0..Y3, Cb, Cr of the macroblock at luma (x, y), widened to 32 bits.
void FetchMacroblock(const SamplePlanes& picture, int x, int y, int32_t* samples);
// Pass 1: ForwardDct then QuantiseIntraBlock for each block.
void TransformAndQuantise(int q, int32_t* samples, int32_t* coefficients, int32_t* levels);
// Pass 2 and final pass: QuantiseIntraBlock for each block.
void QuantiseMacroblock(int q, const int32_t* coefficients, int32_t* levels);
// Low 16 bits of each value out; sign-extended back in.
void StoreCoefficients(const int32_t* coefficients, int x, int y, CoefficientPlanes* planes);
void LoadCoefficients(int x, int y, const CoefficientPlanes* planes, int32_t* coefficients);
// One block with quantiser_scale_code q and the working intra matrix; DC by IntraDCPrecision.
void QuantiseIntraBlock(int q, const int32_t* coefficients, int32_t* levels);

#endif
