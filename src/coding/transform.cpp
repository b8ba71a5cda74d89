// Forward 8x8 DCT: separable, rows then columns, in double precision.
#include "coding/transform.h"

#include <cstdlib>
#include <cstring>

#include "coding/tables.h"
#include "coding/transform_lanes.h"
#include "parallel/job_threads.h"
#include "platform/cpu_features.h"

namespace {

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
void TransformBlockReference(const uint8_t* origin, int32_t stride, int16_t* out) {
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

DctVariant ChooseDctVariant() {
    const char* forced = std::getenv("PICTOR_DCT");
    for (DctVariant v : kDctVariants) {
        if (forced != nullptr && std::strcmp(forced, DctVariantName(v)) == 0 && DctVariantRuns(v))
            return v;
    }
    if (DctVariantRuns(DctVariant::kAvx512)) return DctVariant::kAvx512;
    if (DctVariantRuns(DctVariant::kAvx2)) return DctVariant::kAvx2;
    return DctVariant::kScalar;
}

}  // namespace

const char* DctVariantName(DctVariant variant) {
    switch (variant) {
        case DctVariant::kReference:
            return "reference";
        case DctVariant::kScalar:
            return "scalar";
        case DctVariant::kAvx2:
            return "avx2";
        case DctVariant::kAvx512:
            return "avx512";
    }
    return "";
}

bool DctVariantRuns(DctVariant variant) {
    switch (variant) {
        case DctVariant::kReference:
        case DctVariant::kScalar:
            return true;
#if PICTOR_DCT_VECTORS
        case DctVariant::kAvx2:
            return CpuHasAvx2();
        case DctVariant::kAvx512:
            return CpuHasAvx512f();
#else
        case DctVariant::kAvx2:
        case DctVariant::kAvx512:
            break;
#endif
    }
    return false;
}

DctVariant ChosenDctVariant() {
    // A property of the processor and the process's environment, fixed for its life.
    static const DctVariant chosen = ChooseDctVariant();
    return chosen;
}

void ForwardDctBlocks(DctVariant variant, int32_t* const* blocks, int32_t* const* out, int count) {
    switch (variant) {
#if PICTOR_DCT_VECTORS
        case DctVariant::kAvx2:
            return ForwardDctBlocksAvx2(blocks, out, count);
        case DctVariant::kAvx512:
            return ForwardDctBlocksAvx512(blocks, out, count);
#endif
        case DctVariant::kScalar:
            return ForwardDctBlocksScalar(blocks, out, count);
        default:
            for (int i = 0; i < count; ++i) ForwardDct(blocks[i], out[i]);
    }
}

void TransformBlocks(DctVariant variant, const uint8_t* const* origins, int32_t stride,
                     int16_t* const* out, int count) {
    switch (variant) {
#if PICTOR_DCT_VECTORS
        case DctVariant::kAvx2:
            return TransformBlocksAvx2(origins, stride, out, count);
        case DctVariant::kAvx512:
            return TransformBlocksAvx512(origins, stride, out, count);
#endif
        case DctVariant::kScalar:
            return TransformBlocksScalar(origins, stride, out, count);
        default:
            for (int i = 0; i < count; ++i) TransformBlockReference(origins[i], stride, out[i]);
    }
}

namespace {

void TransformRows(const SamplePlanes& picture, int32_t first, int32_t count,
                   CoefficientStore* store) {
    const DctVariant variant = ChosenDctVariant();
    const int32_t chromaStride = picture.width / 2;
    const int32_t columns = store->columns;
    // One macroblock row's luma blocks, then its chroma blocks, in one call each.
    constexpr int kColumnsAtOnce = 64;
    const uint8_t* origins[4 * kColumnsAtOnce];
    int16_t* out[4 * kColumnsAtOnce];
    for (int32_t row = first; row < first + count; ++row) {
        for (int32_t col0 = 0; col0 < columns; col0 += kColumnsAtOnce) {
            const int32_t n = columns - col0 < kColumnsAtOnce ? columns - col0 : kColumnsAtOnce;
            int16_t* mb =
                store->data + (static_cast<int64_t>(row) * columns + col0) * kMacroblockValues;
            const int64_t y = picture.codedY + 16 * row;
            for (int32_t i = 0; i < n; ++i) {
                const int64_t x = picture.codedX + 16 * (col0 + i);
                for (int b = 0; b < 4; ++b) {
                    origins[4 * i + b] =
                        picture.y + (y + 8 * (b / 2)) * picture.width + x + 8 * (b % 2);
                    out[4 * i + b] = mb + static_cast<int64_t>(i) * kMacroblockValues + 64 * b;
                }
            }
            TransformBlocks(variant, origins, picture.width, out, 4 * n);
            const int64_t chromaRow = (picture.codedY / 2 + 8 * row) * chromaStride;
            for (int c = 0; c < 2; ++c) {
                const uint8_t* plane = c == 0 ? picture.cb : picture.cr;
                for (int32_t i = 0; i < n; ++i) {
                    origins[i] = plane + chromaRow + picture.codedX / 2 + 8 * (col0 + i);
                    out[i] = mb + static_cast<int64_t>(i) * kMacroblockValues + 64 * (4 + c);
                }
                TransformBlocks(variant, origins, chromaStride, out, n);
            }
        }
    }
}

}  // namespace

void TransformMacroblockRows(const SamplePlanes& picture, int32_t first, int32_t count,
                             CoefficientStore* store) {
    // Rows apart, in chunks for the job's threads: every block is its own.
    constexpr int32_t kChunks = 8;
    auto transform = [&](int32_t chunk) {
        const int32_t from = first + static_cast<int32_t>(int64_t{count} * chunk / kChunks);
        const int32_t to = first + static_cast<int32_t>(int64_t{count} * (chunk + 1) / kChunks);
        TransformRows(picture, from, to - from, store);
    };
    RunChunks(kChunks, transform);
}
