#include "support/reference_estimate.h"

#include <cstdlib>

#include "coding/tables.h"

namespace {

// Levels of positions 1..63 for the estimate: (16|x| +- w/2) / w, then (t +- (3q + 2) / 4) / 2q,
// unlimited.
void QuantiseForEstimate(const int32_t* coefficients, int32_t* levels, const int32_t* matrix,
                         int q) {
    const int32_t offset = (3 * q + 2) / 4;
    for (int p = 1; p < 64; ++p) {
        const int32_t x = coefficients[p];
        const int32_t t = (16 * std::abs(x) + matrix[p] / 2) / matrix[p];
        levels[p] = x < 0 ? -((t + offset) / (2 * q)) : (t + offset) / (2 * q);
    }
}

// scanned: levels in zig-zag order, positions 1..63 used; their codes and the end of block.
int32_t CountAcBits(const int32_t* scanned) {
    int32_t bits = 0;
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        if (scanned[k] == 0) {
            ++run;
        } else {
            bits += AcCodeLength(run, scanned[k]);
            run = 0;
        }
    }
    return bits + 2;
}

}  // namespace

int32_t ReferenceEstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q) {
    const int32_t macroblocks = store.columns * store.rows;
    int32_t bits = macroblocks;
    for (int32_t mb = 0; mb < macroblocks; ++mb) {
        for (int b = 0; b < 6; ++b) {
            const int16_t* stored = MacroblockCoefficients(store, mb) + 64 * b;
            int32_t block[64], levels[64], scanned[64];
            for (int k = 0; k < 64; ++k)
                block[kZigZagScan[k].column + 8 * kZigZagScan[k].row] = stored[k];
            QuantiseForEstimate(block, levels, matrix, q);
            for (int k = 1; k < 64; ++k)
                scanned[k] = levels[kZigZagScan[k].column + 8 * kZigZagScan[k].row];
            bits += CountAcBits(scanned);
        }
    }
    return bits;
}
