// Estimated bits of a picture for the pre-analysis and the matrix search.
#include "control/bit_estimate.h"

#include <cstring>

#include "api/registry.h"
#include "coding/tables.h"
#include "control/bit_budget.h"

namespace {

// Weight and the smallest magnitude whose level is not 0, per scan position.
struct ScanWeights {
    int32_t weight[64];
    int32_t nonZeroFrom[64];
};

ScanWeights ScanWeightsOf(const int32_t* matrix, int q) {
    const int32_t offset = (3 * q + 2) / 4;
    const int32_t step = 2 * q;
    ScanWeights s;
    for (int k = 1; k < 64; ++k) {
        const int32_t w = matrix[kZigZagScan[k].column + 8 * kZigZagScan[k].row];
        s.weight[k] = w;
        // A level is not 0 once 16|x| + w/2 >= (2q - offset) w.
        const int32_t need = (step - offset) * w - w / 2;
        s.nonZeroFrom[k] = need <= 0 ? 1 : (need + 15) / 16;
    }
    return s;
}

// One block's AC bits: quantised as the quantiser for the estimate does it, scanned and
// counted, without the divisions for coefficients that quantise to 0.
int32_t BlockBits(const ScanWeights& s, int q, const int16_t* block) {
    const int32_t offset = (3 * q + 2) / 4;
    const int32_t step = 2 * q;
    int32_t bits = kEstimatedEndOfBlockBits;
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        const int32_t x = block[k];
        const int32_t magnitude = x < 0 ? -x : x;
        if (magnitude < s.nonZeroFrom[k]) {
            ++run;
            continue;
        }
        const int32_t w = s.weight[k];
        const int32_t level = ((16 * magnitude + w / 2) / w + offset) / step;
        bits += AcCodeLength(run, level);
        run = 0;
    }
    return bits;
}

// The estimate visits a macroblock's blocks as Cr, Cb, then the luma blocks.
constexpr int kEstimateOrder[kBlocksPerMacroblock] = {5, 4, 0, 1, 2, 3};

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
    const int32_t macroblocks = store.columns * store.rows;
    const ScanWeights s = ScanWeightsOf(matrix, q);
    int32_t bits = 0;
    for (int32_t mb = 0; mb < macroblocks; ++mb) {
        const int16_t* blocks = MacroblockCoefficients(store, mb);
        for (int b : kEstimateOrder) bits += BlockBits(s, q, blocks + 64 * b);
    }
    return bits + kEstimatedMacroblockHeaderBits * macroblocks;
}

int ChooseDcPrecision(const int32_t* matrix) {
    int32_t v = 8;
    if (matrix[1] < v) v = matrix[1];
    if (matrix[8] < v) v = matrix[8];
    if (matrix[9] < v) v = matrix[9];
    if (v == 8) return 0;
    return v >= 4 ? 1 : 2;
}

namespace {

constexpr int kListedMagnitudes = 4096;  // the transform gives at most 2048
constexpr int kIncrementalPositions = 16;

// A listed coefficient: the low 8 bits of its magnitude in bits 0-7, its
// position in 8-13, the high 4 bits of the magnitude in 14-17 and its scan
// index in 18-23. Bits 0-13 of a magnitude below 256 index the level lookup.
uint32_t Listed(int32_t magnitude, int k, int p) {
    return static_cast<uint32_t>(magnitude & 255) | static_cast<uint32_t>(p) << 8 |
           static_cast<uint32_t>(magnitude >> 8) << 14 | static_cast<uint32_t>(k) << 18;
}
bool LookedUp(uint32_t c) { return (c & 0x3C000u) == 0; }
int32_t MagnitudeOf(uint32_t c) { return static_cast<int32_t>((c & 255) | (c >> 14 & 15) << 8); }
int PositionOf(uint32_t c) { return static_cast<int>(c >> 8 & 63); }
int ScanIndexOf(uint32_t c) { return static_cast<int>(c >> 18 & 63); }

// Below 4096 the level is at most (16 * 4095 + 24) / 2, so it fits 16 bits.
int32_t EstimateLevel(int32_t magnitude, int32_t w, int q) {
    const int32_t t = (16 * magnitude + w / 2) / w;
    return (t + (3 * q + 2) / 4) / (2 * q);
}

void FillLookup(int p, int32_t w, int q) {
    for (int a = 0; a < kLookedUpMagnitudes; ++a)
        gEstimate.lookup[p][a] = static_cast<uint16_t>(EstimateLevel(a, w, q));
}

int32_t LevelOf(uint32_t c, const int32_t* matrix, int q) {
    if (LookedUp(c)) return (&gEstimate.lookup[0][0])[c & 0x3FFF];
    return EstimateLevel(MagnitudeOf(c), matrix[PositionOf(c)], q);
}

// Adds the code of a level at scan index k; a zero level costs codeLength 0
// and keeps the run going, so the common levels need no branch.
inline void AddCode(int32_t level, int k, int32_t* bits, int* last) {
    if (level >= kTabledLevels) {
        *bits += AcCodeLength(k - *last - 1, level);
        *last = k;
        return;
    }
    *bits += gEstimate.codeLength[k - *last - 1][level];
    *last = level != 0 ? k : *last;
}

// Bits of block b from its stored levels.
int32_t CountBlock(int32_t b) {
    const int32_t begin = b == 0 ? 0 : gEstimate.blockEnd[b - 1];
    int32_t bits = kEstimatedEndOfBlockBits;
    int last = 0;
    for (int32_t i = begin; i < gEstimate.blockEnd[b]; ++i)
        AddCode(gEstimate.level[i], ScanIndexOf(gEstimate.listed[i]), &bits, &last);
    return bits;
}

// Every level anew, block after block.
void EstimateEveryBlock(const int32_t* matrix, int q) {
    gEstimate.total = 0;
    int32_t begin = 0;
    for (int32_t b = 0; b < gEstimate.blocks; ++b) {
        const int32_t end = gEstimate.blockEnd[b];
        int32_t bits = kEstimatedEndOfBlockBits;
        int last = 0;
        for (int32_t i = begin; i < end; ++i) {
            const uint32_t c = gEstimate.listed[i];
            const int32_t level = LevelOf(c, matrix, q);
            gEstimate.level[i] = static_cast<uint16_t>(level);
            AddCode(level, ScanIndexOf(c), &bits, &last);
        }
        gEstimate.blockBits[b] = bits;
        gEstimate.total += bits;
        begin = end;
    }
}

// Only the coefficients of the positions whose weight changed, and the blocks
// where one of their levels changed.
void EstimateChangedPositions(const int32_t* matrix, int q) {
    int32_t dirty = 0;
    for (int p = 1; p < 64; ++p) {
        if (matrix[p] == gEstimate.matrix[p]) continue;
        FillLookup(p, matrix[p], q);
        for (int32_t j = gEstimate.positionStart[p]; j < gEstimate.positionStart[p + 1]; ++j) {
            const int32_t i = gEstimate.byPosition[j];
            const int32_t level = LevelOf(gEstimate.listed[i], matrix, q);
            if (level == gEstimate.level[i]) continue;
            gEstimate.level[i] = static_cast<uint16_t>(level);
            const int32_t b = gEstimate.blockOf[i];
            if (!gEstimate.isDirty[b]) {
                gEstimate.isDirty[b] = 1;
                gEstimate.dirty[dirty++] = b;
            }
        }
    }
    for (int32_t d = 0; d < dirty; ++d) {
        const int32_t b = gEstimate.dirty[d];
        const int32_t bits = CountBlock(b);
        gEstimate.total += bits - gEstimate.blockBits[b];
        gEstimate.blockBits[b] = bits;
        gEstimate.isDirty[b] = 0;
    }
}

// Parts of the one storage block, each starting on an 8-byte boundary.
template <typename T>
int64_t CarvedSize(int64_t count) {
    return (count * static_cast<int64_t>(sizeof(T)) + 7) / 8 * 8;
}
template <typename T>
T* Carve(uint8_t*& cursor, int64_t count) {
    T* part = reinterpret_cast<T*>(cursor);
    cursor += CarvedSize<T>(count);
    return part;
}

// Room for every AC coefficient of `blocks` blocks; the pages past the non-zero ones stay
// untouched.
[[nodiscard]] int AllocateLists(int64_t blocks) {
    const int64_t capacity = blocks * 63;
    const int64_t bytes = CarvedSize<uint32_t>(capacity) + CarvedSize<uint16_t>(capacity) +
                          2 * CarvedSize<int32_t>(capacity) + 3 * CarvedSize<int32_t>(blocks) +
                          CarvedSize<uint8_t>(blocks);
    gEstimate.storage = TrackedAlloc(static_cast<uint64_t>(bytes), 1);
    if (gEstimate.storage == nullptr) return -1;
    uint8_t* cursor = static_cast<uint8_t*>(gEstimate.storage);
    gEstimate.listed = Carve<uint32_t>(cursor, capacity);
    gEstimate.level = Carve<uint16_t>(cursor, capacity);
    gEstimate.blockOf = Carve<int32_t>(cursor, capacity);
    gEstimate.byPosition = Carve<int32_t>(cursor, capacity);
    gEstimate.blockEnd = Carve<int32_t>(cursor, blocks);
    gEstimate.blockBits = Carve<int32_t>(cursor, blocks);
    gEstimate.dirty = Carve<int32_t>(cursor, blocks);
    gEstimate.isDirty = Carve<uint8_t>(cursor, blocks);
    return 0;
}

// Lists the coefficients of the blocks in the order of EstimateAcBits, counting the
// non-zero ones per position; every coefficient is written and only the non-zero ones are
// kept, without a branch on the value. -1 when one lies outside the listed magnitudes.
[[nodiscard]] int ListCoefficients(const CoefficientStore& store, int32_t* perPosition) {
    int position[64];
    for (int k = 0; k < 64; ++k) position[k] = kZigZagScan[k].column + 8 * kZigZagScan[k].row;
    int32_t n = 0;
    int32_t b = 0;
    uint32_t outside = 0;
    const int32_t macroblocks = store.columns * store.rows;
    for (int32_t mb = 0; mb < macroblocks; ++mb) {
        const int16_t* blocks = MacroblockCoefficients(store, mb);
        for (int block : kEstimateOrder) {
            const int16_t* x = blocks + 64 * block;
            for (int k = 1; k < 64; ++k) {
                const int32_t v = x[k];
                const uint32_t magnitude =
                    v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
                outside |= magnitude >= static_cast<uint32_t>(kListedMagnitudes);
                gEstimate.listed[n] =
                    Listed(static_cast<int32_t>(magnitude & 4095), k, position[k]);
                gEstimate.blockOf[n] = b;
                perPosition[position[k]] += v != 0;
                n += v != 0;
            }
            gEstimate.blockEnd[b++] = n;
        }
    }
    gEstimate.blocks = b;
    return outside ? -1 : 0;
}

// The coefficient numbers grouped by position, in list order within each position.
void IndexByPosition(const int32_t* perPosition) {
    gEstimate.positionStart[0] = 0;
    for (int p = 0; p < 64; ++p)
        gEstimate.positionStart[p + 1] = gEstimate.positionStart[p] + perPosition[p];
    int32_t fill[64];
    std::memcpy(fill, gEstimate.positionStart, sizeof(fill));
    const int32_t n = gEstimate.blocks == 0 ? 0 : gEstimate.blockEnd[gEstimate.blocks - 1];
    for (int32_t i = 0; i < n; ++i)
        gEstimate.byPosition[fill[PositionOf(gEstimate.listed[i])]++] = i;
}

}  // namespace

SearchEstimate gEstimate;

void ResetSearchEstimate() { std::memset(&gEstimate, 0, sizeof gEstimate); }

int PrepareSearchEstimate(const CoefficientStore& store) {
    ReleaseSearchEstimate();
    if (store.data == nullptr) return -1;
    const int32_t columns = store.columns;
    const int32_t rows = store.rows;
    if (AllocateLists(static_cast<int64_t>(columns) * rows * 6) != 0) return -1;
    int32_t perPosition[64] = {};
    if (ListCoefficients(store, perPosition) != 0) {
        ReleaseSearchEstimate();
        return -1;
    }
    IndexByPosition(perPosition);
    for (int run = 0; run < kTabledRuns; ++run) {
        for (int level = 0; level < kTabledLevels; ++level)
            gEstimate.codeLength[run][level] =
                static_cast<uint8_t>(level == 0 ? 0 : AcCodeLength(run, level));
    }
    gEstimate.macroblocks = columns * rows;
    gEstimate.valid = 0;
    gEstimate.ready = 1;
    return 0;
}

void ReleaseSearchEstimate() {
    TrackedFree(gEstimate.storage);
    gEstimate.storage = nullptr;
    gEstimate.ready = 0;
    gEstimate.valid = 0;
}

int32_t SearchEstimateAcBits(const int32_t* matrix, int q) {
    int changed = 0;
    for (int p = 1; p < 64; ++p) changed += matrix[p] != gEstimate.matrix[p];
    // With many weights changed a sweep in storage order beats visiting them by position.
    if (!gEstimate.valid || gEstimate.q != q || changed > kIncrementalPositions) {
        for (int p = 1; p < 64; ++p) FillLookup(p, matrix[p], q);
        EstimateEveryBlock(matrix, q);
    } else {
        EstimateChangedPositions(matrix, q);
    }
    std::memcpy(gEstimate.matrix, matrix, sizeof(gEstimate.matrix));
    gEstimate.q = q;
    gEstimate.valid = 1;
    return static_cast<int32_t>(gEstimate.total +
                                kEstimatedMacroblockHeaderBits * gEstimate.macroblocks);
}
