// Forward 8x8 DCT: separable, rows then columns, in double precision.
#include "coding/transform.h"

#include "coding/tables.h"

namespace {

// cos(k pi / 16) and the scalings, as the nearest doubles.
constexpr double C1 = 0.9807852804032304;
constexpr double C2 = 0.9238795325112867;
constexpr double C3 = 0.8314696123025452;
constexpr double C5 = 0.5555702330196022;
constexpr double C6 = 0.3826834323650898;
constexpr double C7 = 0.19509032201612828;
constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kFourSqrt2 = 5.656854249492381;

// One 8-point pass over x[0], x[stride], ..., unscaled; one double operation
// per step, in a fixed order, so every build gives the same bits.
void Dct8(const double* x, int stride, double* y) {
    const double x0 = x[0], x1 = x[stride], x2 = x[2 * stride], x3 = x[3 * stride];
    const double x4 = x[4 * stride], x5 = x[5 * stride], x6 = x[6 * stride], x7 = x[7 * stride];
    const double s0 = x0 + x7, s1 = x1 + x6, s2 = x2 + x5, s3 = x3 + x4;
    const double b0 = x0 - x7, b1 = x1 - x6, b2 = x2 - x5, b3 = x3 - x4;
    const double e0 = s0 + s3, e1 = s1 + s2, d0 = s0 - s3, d1 = s1 - s2;
    y[0] = e0 + e1;
    y[4] = e0 - e1;
    y[2] = d0 * C2 + d1 * C6;
    y[6] = d0 * C6 - d1 * C2;
    const double a0 = b0 * C3 - b3 * C5;
    const double a1 = b0 * C5 + b3 * C3;
    const double g0 = b1 * C7 + b2 * C1;
    const double g1 = b2 * C7 - b1 * C1;
    y[3] = a0 - g0;
    y[5] = a1 + g1;
    y[1] = (a0 + g0) + (a1 - g1);
    y[7] = (a0 + g0) - (a1 - g1);
}

int32_t RoundAndClamp(double v) {
    int32_t r = v > 0.0 ? static_cast<int32_t>(v + 0.5) : static_cast<int32_t>(v - 0.5);
    if (r < -2048) r = -2048;
    if (r > 2047) r = 2047;
    return r;
}

}  // namespace

void ForwardDctUnrounded(const int32_t* block, double* out) {
    double rows[64];
    double y[8];
    for (int r = 0; r < 8; ++r) {
        double x[8];
        for (int c = 0; c < 8; ++c) {
            int32_t v = block[8 * r + c];
            if (v < -256) v = -256;
            if (v > 255) v = 255;
            x[c] = static_cast<double>(v);
        }
        Dct8(x, 1, y);
        y[2] *= kSqrt2;
        y[3] *= kSqrt2;
        y[5] *= kSqrt2;
        y[6] *= kSqrt2;
        for (int u = 0; u < 8; ++u) rows[8 * r + u] = y[u];
    }
    for (int u = 0; u < 8; ++u) {
        Dct8(rows + u, 8, y);
        out[u] = y[0] * 0.125;
        out[8 + u] = y[1] * 0.125;
        out[16 + u] = y[2] / kFourSqrt2;
        out[24 + u] = y[3] / kFourSqrt2;
        out[32 + u] = y[4] * 0.125;
        out[40 + u] = y[5] / kFourSqrt2;
        out[48 + u] = y[6] / kFourSqrt2;
        out[56 + u] = y[7] * 0.125;
    }
}

void ForwardDct(int32_t* block, int32_t* out) {
    for (int i = 0; i < 64; ++i) {
        if (block[i] < -256) block[i] = -256;
        if (block[i] > 255) block[i] = 255;
    }
    double f[64];
    ForwardDctUnrounded(block, f);
    for (int i = 0; i < 64; ++i) out[i] = RoundAndClamp(f[i]);
}

namespace {

// One 8x8 block of samples at `origin` (row length `stride`) into 64 coefficients in scan order.
void TransformBlock(const uint8_t* origin, int32_t stride, int16_t* out) {
    int32_t samples[64];
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c)
            samples[8 * r + c] = origin[static_cast<int64_t>(r) * stride + c];
    }
    int32_t raster[64];
    ForwardDct(samples, raster);
    for (int k = 0; k < 64; ++k)
        out[k] = static_cast<int16_t>(raster[kZigZagScan[k].column + 8 * kZigZagScan[k].row]);
}

}  // namespace

void TransformMacroblockRows(const SamplePlanes& picture, int32_t first, int32_t count,
                             CoefficientStore* store) {
    const int32_t chromaStride = picture.width / 2;
    for (int32_t row = first; row < first + count; ++row) {
        for (int32_t col = 0; col < store->columns; ++col) {
            int16_t* out = store->data +
                           (static_cast<int64_t>(row) * store->columns + col) * kMacroblockValues;
            const int64_t x = picture.codedX + 16 * col;
            const int64_t y = picture.codedY + 16 * row;
            for (int b = 0; b < 4; ++b) {
                const int64_t at = (y + 8 * (b / 2)) * picture.width + x + 8 * (b % 2);
                TransformBlock(picture.y + at, picture.width, out + 64 * b);
            }
            const int64_t chroma =
                (picture.codedY / 2 + 8 * row) * chromaStride + picture.codedX / 2 + 8 * col;
            TransformBlock(picture.cb + chroma, chromaStride, out + 64 * 4);
            TransformBlock(picture.cr + chroma, chromaStride, out + 64 * 5);
        }
    }
}
