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

// One 8-point pass over x[0], x[stride], ..., unscaled: one operation per step, in a fixed order,
// so every build gives the same bits. D is a double, or a vector of doubles (one per block), and
// the pass is inlined into each instruction set's code.
template <typename D>
inline __attribute__((always_inline)) void Dct8(const D* x, int stride, D* y) {
    const D x0 = x[0], x1 = x[stride], x2 = x[2 * stride], x3 = x[3 * stride];
    const D x4 = x[4 * stride], x5 = x[5 * stride], x6 = x[6 * stride], x7 = x[7 * stride];
    const D s0 = x0 + x7, s1 = x1 + x6, s2 = x2 + x5, s3 = x3 + x4;
    const D b0 = x0 - x7, b1 = x1 - x6, b2 = x2 - x5, b3 = x3 - x4;
    const D e0 = s0 + s3, e1 = s1 + s2, d0 = s0 - s3, d1 = s1 - s2;
    y[0] = e0 + e1;
    y[4] = e0 - e1;
    y[2] = d0 * kCos2 + d1 * kCos6;
    y[6] = d0 * kCos6 - d1 * kCos2;
    const D a0 = b0 * kCos3 - b3 * kCos5;
    const D a1 = b0 * kCos5 + b3 * kCos3;
    const D g0 = b1 * kCos7 + b2 * kCos1;
    const D g1 = b2 * kCos7 - b1 * kCos1;
    y[3] = a0 - g0;
    y[5] = a1 + g1;
    y[1] = (a0 + g0) + (a1 - g1);
    y[7] = (a0 + g0) - (a1 - g1);
}

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
