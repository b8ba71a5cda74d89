// Macroblock fetch, coefficient store and reload, and the intra quantiser.
#include "coding/quantise.h"

#include "coding/tables.h"
#include "coding/transform.h"
#include "params/settings.h"

IntraMatrix gIntraMatrix;

void ResetIntraMatrix() { gIntraMatrix = IntraMatrix{}; }

namespace {

// Luma offsets of Y0..Y3 inside the macroblock.
constexpr int kLumaBlockX[4] = {0, 8, 0, 8};
constexpr int kLumaBlockY[4] = {0, 0, 8, 8};

void FetchBlock(const uint8_t* plane, int stride, int x, int y, int32_t* block) {
    for (int r = 0; r < 8; ++r) {
        const uint8_t* row = plane + static_cast<int64_t>(y + r) * stride + x;
        for (int c = 0; c < 8; ++c) block[8 * r + c] = row[c];
    }
}

int32_t Clamp(int32_t v, int32_t low, int32_t high) {
    return v < low ? low : (v > high ? high : v);
}

}  // namespace

void FetchMacroblock(const SamplePlanes& picture, int x, int y, int32_t* samples) {
    for (int b = 0; b < 4; ++b) {
        FetchBlock(picture.y, picture.width, x + kLumaBlockX[b], y + kLumaBlockY[b],
                   samples + 64 * b);
    }
    const int xc = (x - picture.codedX) / 2 + picture.codedX / 2;
    const int yc = (y - picture.codedY) / 2 + picture.codedY / 2;
    const int chromaStride = picture.width / 2;
    FetchBlock(picture.cb, chromaStride, xc, yc, samples + 64 * 4);
    FetchBlock(picture.cr, chromaStride, xc, yc, samples + 64 * 5);
}

void TransformAndQuantise(int q, int32_t* samples, int32_t* coefficients, int32_t* levels) {
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        ForwardDct(samples + 64 * b, coefficients + 64 * b);
        QuantiseIntraBlock(q, coefficients + 64 * b, levels + 64 * b);
    }
}

void QuantiseMacroblock(int q, const int32_t* coefficients, int32_t* levels) {
    for (int b = 0; b < kBlocksPerMacroblock; ++b)
        QuantiseIntraBlock(q, coefficients + 64 * b, levels + 64 * b);
}

void LoadMacroblock(const CoefficientStore& store, int32_t mb, int32_t* coefficients) {
    const int16_t* stored = MacroblockCoefficients(store, mb);
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        for (int k = 0; k < 64; ++k) {
            const ScanPosition p = kZigZagScan[k];
            coefficients[64 * b + p.column + 8 * p.row] = stored[64 * b + k];
        }
    }
}

void QuantiseIntraBlock(int q, const int32_t* coefficients, int32_t* levels) {
    const int32_t step = 2 * q;
    const int32_t offset = (3 * q + 2) / 4;  // (3 x step + 4) / 8
    for (int i = 0; i < 64; ++i) {
        const int32_t c = coefficients[i];
        if (c == 0) {
            levels[i] = 0;
            continue;
        }
        const int32_t w = gIntraMatrix.weights[i];
        const int32_t magnitude = c < 0 ? -c : c;
        const int32_t v = (16 * magnitude + w / 2) / w;
        const int32_t level = v == 0 ? 0 : (v + offset) / step;
        levels[i] = Clamp(c < 0 ? -level : level, -2047, 2047);
    }
    // The DC goes at intra_dc_precision (any other value as 0), rounded with halves away
    // from zero, within the 8, 9 or 10 bits of that precision.
    const int precision = gSettings.IntraDCPrecision;
    const int32_t mult = kIntraDcMult[precision == 1 || precision == 2 ? precision : 0];
    const int32_t c0 = coefficients[0];
    const int32_t magnitude = c0 < 0 ? -c0 : c0;
    const int32_t dc = (magnitude + mult / 2) / mult;
    const int32_t limit = 2048 / mult - 1;
    levels[0] = Clamp(c0 < 0 ? -dc : dc, -limit, limit);
}
