// Estimated bits of a picture for the pre-analysis and the matrix search.
//
// What is estimated: the AC bits of the whole picture for a matrix and a quantiser, every block
// quantised as the coding passes quantise it and its codes' lengths counted (2 bits for each end
// of block, 1 bit a macroblock).
// Stages: the plain estimate quantises every block anew; the search's estimate keeps each
// block's level magnitudes, non-zero bits and bits from one matrix to the next, and visits only
// the coefficients whose level a changed weight or quantiser changes (control/level_lists.h),
// unless so many change that quantising every block anew costs less.
// Why earlier figures are kept: during one search the stored coefficients never change, so a
// block's levels change only where a weight did, and the sums agree with the plain estimate.
#include "control/bit_estimate.h"

#include <cstring>

#include "coding/code_lengths.h"
#include "coding/quantise.h"
#include "coding/tables.h"
#include "control/bit_budget.h"
#include "control/level_lists.h"
#include "parallel/job_threads.h"
#include "runtime/registry.h"

namespace {

// The estimates split the blocks into this many chunks for the job's threads; the chunks' sums
// are added in chunk order. A chunk sums into a local and stores its slot once: the slots share
// one cache line, and a store per block had the two threads contending for it.
constexpr int32_t kBlockChunks = 8;
int64_t ChunkStart(int32_t chunk, int64_t blocks) { return blocks * chunk / kBlockChunks; }

// The smallest AC magnitude whose level is not 0 with weight w and q: a level is not 0 once
// 16|x| + w/2 >= (2q - offset) w.
int32_t SmallestCodedMagnitude(int32_t w, int q) {
    const int32_t offset = (3 * q + 2) / 4;
    const int32_t need = (2 * q - offset) * w - w / 2;
    return need <= 0 ? 1 : (need + 15) / 16;
}

// The least of them over a matrix's AC weights.
int32_t SmallestCodedMagnitude(const int32_t* matrix, int q) {
    int32_t smallest = INT32_MAX;
    for (int p = 1; p < 64; ++p) {
        const int32_t from = SmallestCodedMagnitude(matrix[p], q);
        if (from < smallest) smallest = from;
    }
    return smallest;
}

// One block's AC bits.
int32_t BlockBits(const ScanQuantiser& quantiser, int q, int32_t smallest, const int16_t* block) {
    if (LargestAcMagnitude(block) < smallest) return kEstimatedEndOfBlockBits;
    int16_t levels[64];
    uint8_t magnitudes[64];
    const uint64_t nonZero = QuantiseAcLevels(quantiser, q, block, levels);
    return kEstimatedEndOfBlockBits + LevelCodeBits(levels, nonZero, magnitudes);
}

// Every block anew.
void EstimateEveryBlock(const CoefficientStore& store, const ScanQuantiser& quantiser, int q,
                        int32_t smallest) {
    int64_t totals[kBlockChunks] = {};
    auto estimate = [&](int32_t chunk) {
        int64_t total = 0;
        for (int64_t b = ChunkStart(chunk, tEstimate->blocks);
             b < ChunkStart(chunk + 1, tEstimate->blocks); ++b) {
            uint8_t* magnitudes = tEstimate->magnitudes + 64 * b;
            if (tEstimate->largest[b] < smallest) {
                std::memset(magnitudes, 0, 64);
                tEstimate->nonZero[b] = 0;
                tEstimate->bits[b] = kEstimatedEndOfBlockBits;
            } else {
                int16_t levels[64];
                const uint64_t nonZero =
                    QuantiseAcLevels(quantiser, q, store.data + 64 * b, levels);
                tEstimate->nonZero[b] = nonZero;
                tEstimate->bits[b] =
                    kEstimatedEndOfBlockBits + LevelCodeBits(levels, nonZero, magnitudes);
            }
            total += tEstimate->bits[b];
        }
        totals[chunk] = total;
    };
    RunChunks(kBlockChunks, estimate);
    tEstimate->total = 0;
    for (int64_t t : totals) tEstimate->total += t;
}

// Parts of the one storage block, each starting on a 64-byte boundary.
template <typename T>
int64_t CarvedSize(int64_t count) {
    return (count * static_cast<int64_t>(sizeof(T)) + 63) / 64 * 64;
}
template <typename T>
T* Carve(uint8_t*& cursor, int64_t count) {
    T* part = reinterpret_cast<T*>(cursor);
    cursor += CarvedSize<T>(count);
    return part;
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

int32_t EstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q, bool shared) {
    ScanQuantiser quantiser;
    PrepareScanQuantiser(matrix, &quantiser);
    const int32_t smallest = SmallestCodedMagnitude(matrix, q);
    const int64_t blocks = static_cast<int64_t>(store.columns) * store.rows * kBlocksPerMacroblock;
    int64_t bits[kBlockChunks] = {};
    auto count = [&](int32_t chunk) {
        int64_t sum = 0;
        for (int64_t b = ChunkStart(chunk, blocks); b < ChunkStart(chunk + 1, blocks); ++b)
            sum += BlockBits(quantiser, q, smallest, store.data + 64 * b);
        bits[chunk] = sum;
    };
    if (shared) {
        RunChunks(kBlockChunks, count);
    } else {
        for (int32_t c = 0; c < kBlockChunks; ++c) count(c);
    }
    int64_t total = 0;
    for (int64_t b : bits) total += b;
    return static_cast<int32_t>(total +
                                kEstimatedMacroblockHeaderBits * store.columns * store.rows);
}

int ChooseDcPrecision(const int32_t* matrix) {
    int32_t v = 8;
    if (matrix[1] < v) v = matrix[1];
    if (matrix[8] < v) v = matrix[8];
    if (matrix[9] < v) v = matrix[9];
    if (v == 8) return 0;
    return v >= 4 ? 1 : 2;
}

thread_local SearchEstimate* tEstimate = nullptr;

void ResetSearchEstimate() { *tEstimate = SearchEstimate{}; }

int PrepareSearchEstimate(const CoefficientStore& store, const MagnitudeCounts* counts) {
    ReleaseSearchEstimate();
    const int64_t blocks = static_cast<int64_t>(store.columns) * store.rows * kBlocksPerMacroblock;
    const int64_t bytes = CarvedSize<uint8_t>(64 * blocks) + CarvedSize<uint64_t>(blocks) +
                          CarvedSize<int32_t>(blocks) + CarvedSize<int16_t>(blocks) + 64;
    tEstimate->storage = TrackedAlloc(static_cast<uint64_t>(bytes), 1);
    if (tEstimate->storage == nullptr) return -1;
    // Without the lists every changed matrix is estimated anew.
    if (BuildLevelLists(store, counts, &tEstimate->lists) != 0)
        ReleaseLevelLists(&tEstimate->lists);
    const uintptr_t start = reinterpret_cast<uintptr_t>(tEstimate->storage);
    uint8_t* cursor = static_cast<uint8_t*>(tEstimate->storage) + (64 - start % 64) % 64;
    tEstimate->magnitudes = Carve<uint8_t>(cursor, 64 * blocks);
    tEstimate->nonZero = Carve<uint64_t>(cursor, blocks);
    tEstimate->bits = Carve<int32_t>(cursor, blocks);
    tEstimate->largest = Carve<int16_t>(cursor, blocks);
    tEstimate->blocks = blocks;
    for (int64_t b = 0; b < blocks; ++b)
        tEstimate->largest[b] = static_cast<int16_t>(LargestAcMagnitude(store.data + 64 * b));
    tEstimate->valid = 0;
    return 0;
}

void ReleaseSearchEstimate() {
    ReleaseLevelLists(&tEstimate->lists);
    TrackedFree(tEstimate->storage);
    *tEstimate = SearchEstimate{};
}

int32_t SearchEstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q) {
    const BlockLevels blocks{tEstimate->magnitudes, tEstimate->nonZero, tEstimate->bits};
    int64_t change = 0;
    if (tEstimate->valid && ChangeLevels(&tEstimate->lists, blocks, tEstimate->matrix, tEstimate->q,
                                         matrix, q, &change)) {
        tEstimate->total += change;
    } else {
        ScanQuantiser quantiser;
        PrepareScanQuantiser(matrix, &quantiser);
        EstimateEveryBlock(store, quantiser, q, SmallestCodedMagnitude(matrix, q));
    }
    std::memcpy(tEstimate->matrix, matrix, sizeof tEstimate->matrix);
    tEstimate->q = q;
    tEstimate->valid = 1;
    return static_cast<int32_t>(tEstimate->total +
                                kEstimatedMacroblockHeaderBits * store.columns * store.rows);
}
