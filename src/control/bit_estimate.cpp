// Estimated bits of a picture for the pre-analysis and the matrix search.
#include "control/bit_estimate.h"

#include "coding/quantise.h"
#include "coding/tables.h"
#include "control/bit_budget.h"

namespace {

// The smallest AC magnitude whose level is not 0 under `matrix` and q: a level is not 0 once
// 16|x| + w/2 >= (2q - offset) w.
int32_t SmallestCodedMagnitude(const int32_t* matrix, int q) {
    const int32_t offset = (3 * q + 2) / 4;
    const int32_t step = 2 * q;
    int32_t smallest = INT32_MAX;
    for (int p = 1; p < 64; ++p) {
        const int32_t w = matrix[p];
        const int32_t need = (step - offset) * w - w / 2;
        const int32_t from = need <= 0 ? 1 : (need + 15) / 16;
        if (from < smallest) smallest = from;
    }
    return smallest;
}

// One block's AC bits: its codes and the end of block.
int32_t BlockBits(const ScanQuantiser& quantiser, int q, int32_t smallest, const int16_t* block) {
    if (LargestAcMagnitude(block) < smallest) return kEstimatedEndOfBlockBits;
    int16_t levels[64];
    int32_t bits = kEstimatedEndOfBlockBits;
    int last = 0;
    for (uint64_t rest = QuantiseAcLevels(quantiser, q, block, levels); rest != 0;
         rest &= rest - 1) {
        const int k = __builtin_ctzll(rest);
        const int32_t m = levels[k] < 0 ? -levels[k] : levels[k];
        bits +=
            kAcLengths.at[k - last - 1][m < kAcLengthMagnitudes - 1 ? m : kAcLengthMagnitudes - 1];
        last = k;
    }
    return bits;
}

}  // namespace

int32_t DcSizeCodeLength(int size, int isLuma) {
    if (size < 0 || size > 11) return size;
    return isLuma ? kDcSizeLuma[size].length : kDcSizeChroma[size].length;
}

int32_t AcCodeLength(int run, int level) {
    const AcCode* code = FindAcCode(run, level);
    return code != nullptr ? code->length : kEscapeBits;
}

int32_t EstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q) {
    ScanQuantiser quantiser;
    PrepareScanQuantiser(matrix, &quantiser);
    const int32_t smallest = SmallestCodedMagnitude(matrix, q);
    const int64_t blocks = static_cast<int64_t>(store.columns) * store.rows * kBlocksPerMacroblock;
    int32_t bits = 0;
    for (int64_t b = 0; b < blocks; ++b)
        bits += BlockBits(quantiser, q, smallest, store.data + 64 * b);
    return bits + kEstimatedMacroblockHeaderBits * store.columns * store.rows;
}

int ChooseDcPrecision(const int32_t* matrix) {
    int32_t v = 8;
    if (matrix[1] < v) v = matrix[1];
    if (matrix[8] < v) v = matrix[8];
    if (matrix[9] < v) v = matrix[9];
    if (v == 8) return 0;
    return v >= 4 ? 1 : 2;
}
