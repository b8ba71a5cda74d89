// The forward DCT's constants, and its implementations over lanes of blocks, for the transform's
// dispatch.
#ifndef PICTOR_CODING_TRANSFORM_LANES_H
#define PICTOR_CODING_TRANSFORM_LANES_H

#include <cstdint>

// cos(k pi / 16) and the scalings, as the nearest doubles.
constexpr double kCos1 = 0.9807852804032304;
constexpr double kCos2 = 0.9238795325112867;
constexpr double kCos3 = 0.8314696123025452;
constexpr double kCos5 = 0.5555702330196022;
constexpr double kCos6 = 0.3826834323650898;
constexpr double kCos7 = 0.19509032201612828;
constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kFourSqrt2 = 5.656854249492381;

// Blocks by one (scalar), four (AVX2) or eight (AVX-512) at a time; the vector ones only where
// the processor runs them.
void ForwardDctBlocksScalar(int32_t* const* blocks, int32_t* const* out, int count);
void TransformBlocksScalar(const uint8_t* const* origins, int32_t stride, int16_t* const* out,
                           int count);
#if defined(__x86_64__) || defined(__i386__)
#define PICTOR_DCT_VECTORS 1
void ForwardDctBlocksAvx2(int32_t* const* blocks, int32_t* const* out, int count);
void TransformBlocksAvx2(const uint8_t* const* origins, int32_t stride, int16_t* const* out,
                         int count);
void ForwardDctBlocksAvx512(int32_t* const* blocks, int32_t* const* out, int count);
void TransformBlocksAvx512(const uint8_t* const* origins, int32_t stride, int16_t* const* out,
                           int count);
#endif

#endif
