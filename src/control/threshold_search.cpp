#include "control/threshold_search.h"

#include <cstring>

#include "api/registry.h"
#include "coding/scan.h"
#include "params/settings.h"

ThresholdState gThreshold;

void ResetThresholdState() {
    gThreshold.threshold = 0.0f;
    gThreshold.lastEstimateQ = 0;
}

namespace {

// The transform clamps every coefficient to -2048..2047, so magnitudes 0..2048
// cover all it produces; larger values take the direct formula.
constexpr int kTabulatedMagnitudes = 2049;
constexpr int kWeights = 128;

// Squared quantisation error of a coefficient of magnitude a with weight w:
// the error of x and of -x are equal, since every division truncates toward zero
// and the odd-reconstruction rule moves toward zero on either side.
int64_t ErrorTerm(int64_t a, int64_t w) {
    int64_t h = w / 2;
    if (a < h) return a * a;
    int64_t t = (16 * a + h) / w;
    int64_t level = (t + 6) / 16;
    int64_t r = level * w;
    if (r != 0 && r % 2 == 0) r -= 1;
    return (a - r) * (a - r);
}

// Every term fits 16 bits (the largest is 5776). Weight 0 holds 0, so a whole
// row of 128 can be added without a test and sums[p][0] stays 0.
struct ErrorTermTable {
    int32_t ready;
    uint16_t term[kTabulatedMagnitudes][kWeights];
};
ErrorTermTable gErrorTerms;

void FillErrorTerms() {
    for (int a = 0; a < kTabulatedMagnitudes; ++a) {
        gErrorTerms.term[a][0] = 0;
        for (int w = 1; w < kWeights; ++w)
            gErrorTerms.term[a][w] = static_cast<uint16_t>(a == 0 ? 0 : ErrorTerm(a, w));
    }
    gErrorTerms.ready = 1;
}

// The search's own evaluation of EstimateAcBits. The stored coefficients do not
// change during a search, so the non-zero AC coefficients of every block are
// listed once in scan order, with each one's current level and each block's
// bits. A later matrix with the same q re-quantises only the coefficients of
// the positions whose weight changed and recounts only the blocks where a level
// changed. Every level and code length is the one EstimateAcBits would find, so
// the sums agree.
constexpr int kLookedUpMagnitudes = 256;
constexpr int kListedMagnitudes = 4096;  // the transform gives at most 2048
constexpr int kTabledRuns = 63;
constexpr int kTabledLevels = 64;
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

struct SearchEstimateState {
    int32_t ready;
    int32_t valid;  // levels and block bits belong to matrix and q below
    int32_t q;
    int32_t matrix[64];
    int64_t total;
    int32_t blocks;
    int32_t macroblocks;
    void* storage;     // one tracked block holding every array below
    uint32_t* listed;  // per coefficient, block after block
    uint16_t* level;
    int32_t* blockOf;
    int32_t* byPosition;  // coefficient numbers grouped by position
    int32_t positionStart[65];
    int32_t* blockEnd;  // coefficients of block b end at blockEnd[b]
    int32_t* blockBits;
    int32_t* dirty;  // blocks to recount
    uint8_t* isDirty;
    uint8_t codeLength[kTabledRuns][kTabledLevels];  // AcCodeLength; 0 for level 0
    uint16_t lookup[64][kLookedUpMagnitudes];
};
SearchEstimateState gEstimate;

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
    int32_t bits = 2;  // end of block
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
        int32_t bits = 2;
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

// Estimated AC bits of the matrices already tried during one search. The
// estimate is a function of the matrix and q over the same stored coefficients,
// so a repeated matrix gets its earlier figure without re-quantising.
constexpr int kRememberedEstimates = 64;
struct EstimateMemo {
    int32_t active;
    int32_t count;
    int32_t next;
    int32_t q[kRememberedEstimates];
    int32_t bits[kRememberedEstimates];
    int32_t matrix[kRememberedEstimates][64];
};
EstimateMemo gMemo;

int32_t EstimateWithMemo(const int32_t* matrix, int q) {
    if (!gMemo.active) return EstimateAcBits(matrix, q);
    for (int i = 0; i < gMemo.count; ++i) {
        if (gMemo.q[i] == q && std::memcmp(gMemo.matrix[i], matrix, sizeof(gMemo.matrix[i])) == 0)
            return gMemo.bits[i];
    }
    const int32_t bits =
        gEstimate.ready ? SearchEstimateAcBits(matrix, q) : EstimateAcBits(matrix, q);
    const int slot = gMemo.next;
    gMemo.next = (gMemo.next + 1) % kRememberedEstimates;
    if (gMemo.count < kRememberedEstimates) ++gMemo.count;
    gMemo.q[slot] = q;
    gMemo.bits[slot] = bits;
    std::memcpy(gMemo.matrix[slot], matrix, sizeof(gMemo.matrix[slot]));
    return bits;
}

void EndSearch() {
    gMemo.active = 0;
    ReleaseSearchEstimate();
}

// Each position takes the largest weight whose error stays within the
// threshold, never less than its minimum weight.
void BuildThresholdMatrix(float threshold, double (*table)[128], const int32_t* minWeight,
                          int32_t* matrix) {
    const double limit = threshold;
    for (int p = 0; p < 64; ++p) {
        int32_t weight = 127;
        for (int w = minWeight[p]; w <= 127; ++w) {
            if (limit < table[p][w]) {
                weight = w == minWeight[p] ? w : w - 1;
                break;
            }
        }
        matrix[p] = weight;
    }
}

}  // namespace

void ErrorStatistics(const int32_t* coefficients, ErrorSums* sums, int32_t* minWeight) {
    if (!gErrorTerms.ready) FillErrorTerms();
    for (int p = 1; p < 64; ++p) {
        const int32_t x = coefficients[p];
        if (x == 0) continue;
        const int64_t a = x < 0 ? -static_cast<int64_t>(x) : x;
        const int32_t v = static_cast<int32_t>((8 * a + 2047) / 2047);
        if (v > minWeight[p]) minWeight[p] = v;
        int32_t* sum = (*sums)[p];
        if (a < kTabulatedMagnitudes) {
            const uint16_t* term = gErrorTerms.term[a];
            for (int w = 0; w < kWeights; ++w) sum[w] += term[w];
        } else {
            for (int w = 1; w < kWeights; ++w)
                sum[w] = static_cast<int32_t>(static_cast<uint32_t>(sum[w]) +
                                              static_cast<uint32_t>(ErrorTerm(a, w)));
        }
    }
}

int PrepareSearchEstimate() {
    ReleaseSearchEstimate();
    for (const int32_t* plane : gAnalysis.coefficients)
        if (plane == nullptr) return -1;
    const int32_t width = gSettings.FrameWidth;
    const int32_t columns = width / 16;
    const int32_t rows = gSettings.FrameHeight / 16;
    const int64_t blocks = static_cast<int64_t>(columns) * rows * 6;
    // Room for every AC coefficient; the pages past the non-zero ones stay untouched.
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

    // Offsets of the scan positions in a plane of each row length; positions.
    int64_t lumaOffset[64], chromaOffset[64];
    int position[64];
    for (int k = 0; k < 64; ++k) {
        position[k] = kZigZagScan[k].column + 8 * kZigZagScan[k].row;
        lumaOffset[k] = static_cast<int64_t>(kZigZagScan[k].row) * width + kZigZagScan[k].column;
        chromaOffset[k] =
            static_cast<int64_t>(kZigZagScan[k].row) * (width / 2) + kZigZagScan[k].column;
    }
    int32_t n = 0;
    int32_t b = 0;
    int32_t perPosition[64] = {};
    uint32_t outside = 0;
    // Blocks in the order of EstimateAcBits; every coefficient is written and
    // only the non-zero ones are kept, without a branch on the value.
    auto list = [&](const int32_t* plane, int32_t stride, const int64_t* offset, int32_t bx,
                    int32_t by) {
        const int32_t* origin = plane + static_cast<int64_t>(8 * by) * stride + 8 * bx;
        for (int k = 1; k < 64; ++k) {
            const int32_t x = origin[offset[k]];
            const uint32_t magnitude =
                x < 0 ? 0u - static_cast<uint32_t>(x) : static_cast<uint32_t>(x);
            outside |= magnitude >= static_cast<uint32_t>(kListedMagnitudes);
            gEstimate.listed[n] = Listed(static_cast<int32_t>(magnitude & 4095), k, position[k]);
            gEstimate.blockOf[n] = b;
            perPosition[position[k]] += x != 0;
            n += x != 0;
        }
        gEstimate.blockEnd[b++] = n;
    };
    for (int32_t my = 0; my < rows; ++my) {
        for (int32_t mx = 0; mx < columns; ++mx) {
            list(gAnalysis.coefficients[kChromaCr], width / 2, chromaOffset, mx, my);
            list(gAnalysis.coefficients[kChromaCb], width / 2, chromaOffset, mx, my);
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i)
                    list(gAnalysis.coefficients[kLuma], width, lumaOffset, 2 * mx + i, 2 * my + j);
        }
    }
    if (outside) {
        ReleaseSearchEstimate();
        return -1;
    }
    gEstimate.positionStart[0] = 0;
    for (int p = 0; p < 64; ++p)
        gEstimate.positionStart[p + 1] = gEstimate.positionStart[p] + perPosition[p];
    int32_t fill[64];
    std::memcpy(fill, gEstimate.positionStart, sizeof(fill));
    for (int32_t i = 0; i < n; ++i)
        gEstimate.byPosition[fill[PositionOf(gEstimate.listed[i])]++] = i;

    for (int run = 0; run < kTabledRuns; ++run) {
        for (int level = 0; level < kTabledLevels; ++level)
            gEstimate.codeLength[run][level] =
                static_cast<uint8_t>(level == 0 ? 0 : AcCodeLength(run, level));
    }
    gEstimate.blocks = b;
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
    return static_cast<int32_t>(gEstimate.total + gEstimate.macroblocks);
}

void BuildErrorTable(ErrorSums* sums, double (*table)[128], const int32_t* minWeight) {
    const int32_t blocks = (gSettings.FrameHeight / 8) * (gSettings.FrameWidth / 8) +
                           2 * (gSettings.FrameHeight / 16) * (gSettings.FrameWidth / 16);
    const double n = blocks;
    for (int w = 0; w < kWeights; ++w) table[0][w] = 0.0;
    for (int p = 1; p < 64; ++p) {
        for (int w = 1; w < kWeights; ++w) {
            if (w < minWeight[p]) {
                table[p][w] = -1.0;
            } else {
                const int64_t total = static_cast<int64_t>(sums[kLuma][p][w]) +
                                      sums[kChromaCb][p][w] + sums[kChromaCr][p][w];
                table[p][w] = static_cast<double>(total) / n;
            }
        }
    }
}

int TryThreshold(float start, float step, double (*table)[128], const int32_t* minWeight,
                 int32_t target, const int32_t* dcBits, int32_t* matrix, int q, int final) {
    static const int32_t kDcEntry[3] = {8, 4, 2};
    const int32_t budget = target - 40 * (gSettings.FrameHeight / 16) - 1392;
    int32_t lastBits = 0;
    float t = start;
    for (;;) {
        if (t >= 200.0f) return 0;
        gThreshold.threshold = t;
        int32_t kept[64];
        std::memcpy(kept, matrix, sizeof(kept));
        BuildThresholdMatrix(t, table, minWeight, matrix);
        const int precision = ChooseDcPrecision(matrix);
        matrix[0] = kDcEntry[precision];
        if (final) return 0;
        const bool unchanged = std::memcmp(kept, matrix, sizeof(kept)) == 0;
        if (!unchanged || gSettings.IFixedQstep != gThreshold.lastEstimateQ) {
            const int32_t bits = EstimateWithMemo(matrix, q) + dcBits[precision];
            if (bits <= budget) return 0;
            if (bits == lastBits) return 0;
            lastBits = bits;
        }
        t = t + step;
    }
}

int SearchThreshold(double (*table)[128], int32_t* matrix, const int32_t* minWeight,
                    const int32_t* dcBits, int32_t target) {
    gMemo.active = 1;
    gMemo.count = 0;
    gMemo.next = 0;
    PrepareSearchEstimate();  // without its lists every estimate is EstimateAcBits itself
    TryThreshold(0.0f, 5.0f, table, minWeight, target, dcBits, matrix, 8, 0);
    if (gThreshold.threshold == 0.0f) {
        // The finest matrix fits at q 8: try it with ever finer estimate quantisers.
        for (int q = 7; q >= 1; --q) {
            TryThreshold(0.0f, 0.5f, table, minWeight, target, dcBits, matrix, q, 0);
            if (gThreshold.threshold != 0.0f) {
                TryThreshold(gThreshold.threshold - 0.4f, 0.1f, table, minWeight, target, dcBits,
                             matrix, q, 0);
                TryThreshold(gThreshold.threshold - 0.1f, 0.1f, table, minWeight, target, dcBits,
                             matrix, q, 1);
                EndSearch();
                return 0;
            }
            gThreshold.lastEstimateQ = gSettings.IFixedQstep;
        }
        EndSearch();
        return 0;
    }
    static const float kRefine[6][2] = {{3.0f, 2.0f}, {1.0f, 1.0f},   {0.5f, 0.5f},
                                        {0.3f, 0.2f}, {0.15f, 0.05f}, {0.04f, 0.01f}};
    for (const float* stage : kRefine)
        TryThreshold(gThreshold.threshold - stage[0], stage[1], table, minWeight, target, dcBits,
                     matrix, 8, 0);
    TryThreshold(gThreshold.threshold - 0.01f, 0.01f, table, minWeight, target, dcBits, matrix, 8,
                 1);
    EndSearch();
    return 0;
}
