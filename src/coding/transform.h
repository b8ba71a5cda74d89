// Forward 8x8 DCT, and the store of a picture area's coefficients.
#ifndef PICTOR_CODING_TRANSFORM_H
#define PICTOR_CODING_TRANSFORM_H

#include <cstdint>

#include "platform/float_model.h"

// Clamps `block` to -256..255 in place, then out[8v + u] = F(u, v), rounded
// with halves away from zero and clamped to -2048..2047.
void ForwardDct(int32_t* block, int32_t* out);
// The same transform of the clamped samples (block is left as it is), before
// rounding: out[8v + u] = F(u, v).
void ForwardDctUnrounded(const int32_t* block, double* out);

constexpr int kBlocksPerMacroblock = 6;
constexpr int kMacroblockValues = kBlocksPerMacroblock * 64;

// The picture's samples: Y of row length `width`, 4:2:0 Cb and Cr of row length width / 2; the
// area starts at (codedX, codedY) of the luma plane, its chroma at (codedX / 2, codedY / 2).
struct SamplePlanes {
    const uint8_t* y;
    const uint8_t* cb;
    const uint8_t* cr;
    int32_t width;
    int32_t codedX;
    int32_t codedY;
};

// The coefficients of every block of an area of columns x rows macroblocks: macroblock after
// macroblock in rows, each its six blocks Y0..Y3, Cb, Cr, each block its 64 values in zig-zag
// scan order. Every block is transformed once per job and quantised from here.
struct CoefficientStore {
    int16_t* data;
    int32_t columns;
    int32_t rows;
};
[[nodiscard]] inline const int16_t* MacroblockCoefficients(const CoefficientStore& store,
                                                           int32_t mb) {
    return store.data + static_cast<int64_t>(mb) * kMacroblockValues;
}
// ForwardDct of every block of macroblock rows first .. first + count - 1 of the area.
void TransformMacroblockRows(const SamplePlanes& picture, int32_t first, int32_t count,
                             CoefficientStore* store);

// Implementations of ForwardDct that give the same bits: the same double operations in the same
// order for every coefficient, by one block at a time or by several blocks side by side in the
// lanes of the processor's vectors.
enum class DctVariant { kReference, kScalar, kAvx2, kAvx512 };
constexpr DctVariant kDctVariants[] = {DctVariant::kReference, DctVariant::kScalar,
                                       DctVariant::kAvx2, DctVariant::kAvx512};
// "reference", "scalar", "avx2", "avx512".
[[nodiscard]] const char* DctVariantName(DctVariant variant);
// Whether this processor runs the variant.
[[nodiscard]] bool DctVariantRuns(DctVariant variant);
// The variant of every job of the process, chosen at its first use: the one that PICTOR_DCT
// names if it runs here, else the widest that runs.
[[nodiscard]] DctVariant ChosenDctVariant();
// ForwardDct of blocks[i] into out[i] for i < count, by `variant`.
void ForwardDctBlocks(DctVariant variant, int32_t* const* blocks, int32_t* const* out, int count);
// The 8x8 samples at origins[i] (row length `stride`) into out[i] in scan order, by `variant`.
void TransformBlocks(DctVariant variant, const uint8_t* const* origins, int32_t stride,
                     int16_t* const* out, int count);

#endif
