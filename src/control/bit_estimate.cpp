// Estimated bits of a picture for the pre-analysis and the matrix search.
//
// What is estimated: the AC bits of the whole picture for a matrix and a quantiser, every block
// quantised as the coding passes quantise it and its codes' lengths counted (2 bits for each end
// of block, 1 bit a macroblock).
// Stages: the plain estimate quantises every block anew; the search's estimate keeps each
// block's level magnitudes, non-zero bits and bits from one matrix to the next and, at the same
// quantiser, re-quantises only the level groups that hold a changed weight, or, when only a few
// weights changed, finds just their levels and follows the code lengths that change.
// Why earlier figures are kept: during one search the stored coefficients never change, so a
// block's levels change only where a weight did, and the sums agree with the plain estimate.
#include "control/bit_estimate.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "coding/quantise.h"
#include "coding/tables.h"
#include "control/bit_budget.h"
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

// min(|level|, kLargestTabledMagnitude) of a block's 64 levels: the code lengths depend on no
// more.
void TabledMagnitudes(const int16_t* levels, uint8_t* magnitudes) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i largest = _mm_set1_epi16(kLargestTabledMagnitude);
    for (int k = 0; k < 64; k += 16) {
        __m128i m[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(levels + k + 8 * h));
            m[h] = _mm_min_epi16(_mm_max_epi16(l, _mm_sub_epi16(zero, l)), largest);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(magnitudes + k), _mm_packus_epi16(m[0], m[1]));
    }
#else
    for (int k = 0; k < 64; ++k) {
        const int32_t m = levels[k] < 0 ? -levels[k] : levels[k];
        magnitudes[k] =
            static_cast<uint8_t>(m < kLargestTabledMagnitude ? m : kLargestTabledMagnitude);
    }
#endif
}

// A block's AC bits from its tabled magnitudes and the non-zero bits: its codes and the end of
// block.
int32_t CountBlockBits(const uint8_t* magnitudes, uint64_t nonZero) {
    const uint8_t* lengths = &kAcLengths.at[0][0];
    int32_t bits = kEstimatedEndOfBlockBits;
    int last = 0;
    for (uint64_t rest = nonZero; rest != 0; rest &= rest - 1) {
        const int k = __builtin_ctzll(rest);
        bits += lengths[(k - last - 1) * (kLargestTabledMagnitude + 1) + magnitudes[k]];
        last = k;
    }
    return bits;
}

// One block's AC bits.
int32_t BlockBits(const ScanQuantiser& quantiser, int q, int32_t smallest, const int16_t* block) {
    if (LargestAcMagnitude(block) < smallest) return kEstimatedEndOfBlockBits;
    int16_t levels[64];
    uint8_t magnitudes[64];
    const uint64_t nonZero = QuantiseAcLevels(quantiser, q, block, levels);
    TabledMagnitudes(levels, magnitudes);
    return CountBlockBits(magnitudes, nonZero);
}

// The level groups that hold a weight of `matrix` other than `before`'s (position 0 aside).
uint32_t ChangedGroups(const int32_t* matrix, const int32_t* before) {
    uint32_t groups = 0;
    for (int k = 1; k < 64; ++k) {
        const int p = kZigZagScan[k].column + 8 * kZigZagScan[k].row;
        if (matrix[p] != before[p]) groups |= 1u << (k / 16);
    }
    return groups;
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
            } else {
                int16_t levels[64];
                tEstimate->nonZero[b] = QuantiseAcLevels(quantiser, q, store.data + 64 * b, levels);
                TabledMagnitudes(levels, magnitudes);
                magnitudes[0] = 0;
            }
            tEstimate->bits[b] = CountBlockBits(magnitudes, tEstimate->nonZero[b]);
            total += tEstimate->bits[b];
        }
        totals[chunk] = total;
    };
    RunChunks(kBlockChunks, estimate);
    tEstimate->total = 0;
    for (int64_t t : totals) tEstimate->total += t;
}

// When few weights change, most blocks are too small at their scan indices to be coded with
// either weight, and the levels there are found one by one and their code lengths followed.
constexpr int kFewChangedWeights = 12;
struct ChangedWeights {
    int32_t count;  // above kFewChangedWeights: none listed
    int32_t index[kFewChangedWeights];
    int32_t weight[kFewChangedWeights];
    int32_t reach[kFewChangedWeights];  // the least magnitude coded with the weight before or after
};

ChangedWeights ListChangedWeights(const int32_t* matrix, const int32_t* before, int q) {
    ChangedWeights changed{};
    for (int k = 1; k < 64; ++k) {
        const int p = kZigZagScan[k].column + 8 * kZigZagScan[k].row;
        if (matrix[p] == before[p]) continue;
        if (changed.count < kFewChangedWeights) {
            const int32_t after = SmallestCodedMagnitude(matrix[p], q);
            const int32_t kept = SmallestCodedMagnitude(before[p], q);
            changed.index[changed.count] = k;
            changed.weight[changed.count] = matrix[p];
            changed.reach[changed.count] = after < kept ? after : kept;
        }
        ++changed.count;
    }
    return changed;
}

// min(|level|, kLargestTabledMagnitude) of magnitude a with weight w at q, by the divisions the
// quantiser's products equal.
int32_t TabledLevel(int32_t a, int32_t w, int q) {
    const int32_t level = ((16 * a + w / 2) / w + (3 * q + 2) / 4) / (2 * q);
    return level < kLargestTabledMagnitude ? level : kLargestTabledMagnitude;
}

// Sets the tabled magnitude at scan index k (1..63) of a block to `fresh`; returns the change in
// its bits: the code at k, and the run of the next non-zero level when k turns zero or non-zero.
int32_t ChangeMagnitude(uint8_t* magnitudes, uint64_t* nonZero, int k, int32_t fresh) {
    const uint8_t* lengths = &kAcLengths.at[0][0];
    constexpr int kRunStride = kLargestTabledMagnitude + 1;
    const int32_t kept = magnitudes[k];
    const uint64_t below = *nonZero & ((uint64_t{1} << k) - 1);
    const uint64_t above = *nonZero & (~uint64_t{1} << k);
    const int previous = below != 0 ? 63 - __builtin_clzll(below) : 0;
    const int run = k - previous - 1;
    int32_t change = 0;
    if (kept != 0) change -= lengths[run * kRunStride + kept];
    if (fresh != 0) change += lengths[run * kRunStride + fresh];
    if (above != 0 && (kept == 0) != (fresh == 0)) {
        const int next = __builtin_ctzll(above);
        const uint8_t* m = lengths + magnitudes[next];
        const int32_t joined = m[(next - previous - 1) * kRunStride];
        const int32_t split = m[(next - k - 1) * kRunStride];
        change += fresh != 0 ? split - joined : joined - split;
    }
    magnitudes[k] = static_cast<uint8_t>(fresh);
    *nonZero = fresh != 0 ? *nonZero | uint64_t{1} << k : *nonZero & ~(uint64_t{1} << k);
    return change;
}

// The listed weights' levels of one block; returns the change in its bits.
int32_t ChangeListedLevels(const int16_t* block, const ChangedWeights& changed, int q, int64_t b) {
    int32_t change = 0;
    for (int i = 0; i < changed.count; ++i) {
        const int k = changed.index[i];
        const int32_t a = block[k] < 0 ? -block[k] : block[k];
        // Below the reach the level is 0 before and after.
        if (a < changed.reach[i]) continue;
        uint8_t* magnitudes = tEstimate->magnitudes + 64 * b;
        const int32_t fresh = TabledLevel(a, changed.weight[i], q);
        if (fresh != magnitudes[k])
            change += ChangeMagnitude(magnitudes, &tEstimate->nonZero[b], k, fresh);
    }
    tEstimate->bits[b] += change;
    return change;
}

// Only the changed level groups, and the blocks where a magnitude in them changed.
void EstimateChangedGroups(const CoefficientStore& store, const ScanQuantiser& quantiser, int q,
                           int32_t smallest, uint32_t groups, const ChangedWeights& changed) {
    const bool listed = changed.count <= kFewChangedWeights;
    uint64_t groupBits = 0;
    for (int g = 0; g < 4; ++g) {
        if (groups >> g & 1) groupBits |= uint64_t{0xFFFF} << (16 * g);
    }
    int64_t changes[kBlockChunks] = {};
    auto estimate = [&](int32_t chunk) {
        int64_t change = 0;
        for (int64_t b = ChunkStart(chunk, tEstimate->blocks);
             b < ChunkStart(chunk + 1, tEstimate->blocks); ++b) {
            // All zero before and after.
            if (tEstimate->largest[b] < smallest && tEstimate->nonZero[b] == 0) continue;
            if (listed) {
                change += ChangeListedLevels(store.data + 64 * b, changed, q, b);
                continue;
            }
            uint8_t* magnitudes = tEstimate->magnitudes + 64 * b;
            int16_t levels[64];
            uint8_t fresh[64];
            uint64_t nonZero = QuantiseAcLevels(quantiser, q, store.data + 64 * b, levels, groups);
            TabledMagnitudes(levels, fresh);
            fresh[0] = 0;
            bool same = ((nonZero ^ tEstimate->nonZero[b]) & groupBits) == 0;
            for (int g = 0; same && g < 4; ++g) {
                if ((groups >> g & 1) != 0)
                    same = std::memcmp(fresh + 16 * g, magnitudes + 16 * g, 16) == 0;
            }
            if (same) continue;
            for (int g = 0; g < 4; ++g) {
                if ((groups >> g & 1) != 0) std::memcpy(magnitudes + 16 * g, fresh + 16 * g, 16);
            }
            nonZero |= tEstimate->nonZero[b] & ~groupBits;
            tEstimate->nonZero[b] = nonZero;
            const int32_t bits = CountBlockBits(magnitudes, nonZero);
            change += bits - tEstimate->bits[b];
            tEstimate->bits[b] = bits;
        }
        changes[chunk] = change;
    };
    RunChunks(kBlockChunks, estimate);
    for (int64_t c : changes) tEstimate->total += c;
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

int32_t EstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q) {
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
    RunChunks(kBlockChunks, count);
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

int PrepareSearchEstimate(const CoefficientStore& store) {
    ReleaseSearchEstimate();
    const int64_t blocks = static_cast<int64_t>(store.columns) * store.rows * kBlocksPerMacroblock;
    const int64_t bytes = CarvedSize<uint8_t>(64 * blocks) + CarvedSize<uint64_t>(blocks) +
                          CarvedSize<int32_t>(blocks) + CarvedSize<int16_t>(blocks) + 64;
    tEstimate->storage = TrackedAlloc(static_cast<uint64_t>(bytes), 1);
    if (tEstimate->storage == nullptr) return -1;
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
    TrackedFree(tEstimate->storage);
    *tEstimate = SearchEstimate{};
}

int32_t SearchEstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q) {
    ScanQuantiser quantiser;
    PrepareScanQuantiser(matrix, &quantiser);
    const int32_t smallest = SmallestCodedMagnitude(matrix, q);
    if (!tEstimate->valid || tEstimate->q != q) {
        EstimateEveryBlock(store, quantiser, q, smallest);
    } else if (const uint32_t groups = ChangedGroups(matrix, tEstimate->matrix)) {
        EstimateChangedGroups(store, quantiser, q, smallest, groups,
                              ListChangedWeights(matrix, tEstimate->matrix, q));
    }
    std::memcpy(tEstimate->matrix, matrix, sizeof tEstimate->matrix);
    tEstimate->q = q;
    tEstimate->valid = 1;
    return static_cast<int32_t>(tEstimate->total +
                                kEstimatedMacroblockHeaderBits * store.columns * store.rows);
}
