#include "support/reference_estimate.h"

#include <cstdlib>

#include "coding/tables.h"

namespace {

// The level the estimate gives coefficient x under weight w: t = (16|x| + w/2) / w, then
// (t + (3q + 2) / 4) / 2q with the sign of x, unlimited.
int32_t EstimateLevel(int32_t x, int32_t w, int q) {
    const int32_t t = (16 * std::abs(x) + w / 2) / w;
    const int32_t level = (t + (3 * q + 2) / 4) / (2 * q);
    return x < 0 ? -level : level;
}

}  // namespace

int32_t ReferenceEstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q) {
    const int32_t macroblocks = store.columns * store.rows;
    int32_t bits = macroblocks;
    for (int32_t mb = 0; mb < macroblocks; ++mb) {
        for (int b = 0; b < 6; ++b) {
            // The store keeps zig-zag order; positions 1..63 are coded as runs of zero levels
            // ending in a level, and every block ends with the 2-bit end of block.
            const int16_t* scanned = MacroblockCoefficients(store, mb) + 64 * b;
            int run = 0;
            for (int k = 1; k < 64; ++k) {
                const int32_t w = matrix[kZigZagScan[k].column + 8 * kZigZagScan[k].row];
                const int32_t level = EstimateLevel(scanned[k], w, q);
                if (level == 0) {
                    ++run;
                } else {
                    bits += AcCodeLength(run, level);
                    run = 0;
                }
            }
            bits += 2;
        }
    }
    return bits;
}
