// Pre-analysis: the working intra matrix and the DC precision from the picture's DCT statistics.
#include "control/analysis.h"

#include <cstdlib>
#include <cstring>

#include "coding/int32_arith.h"
#include "coding/quantise.h"
#include "coding/tables.h"
#include "coding/transform.h"
#include "control/bit_budget.h"
#include "convert/planes.h"
#include "parallel/job_threads.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "runtime/registry.h"

thread_local AnalysisState* tAnalysis = nullptr;

// The extended rule's tables are not touched here: its analysis zeroes them as it starts, and
// nothing else reads them.
void ResetAnalysis() {
    std::memset(tAnalysis->minWeight, 0, sizeof tAnalysis->minWeight);
    std::memset(tAnalysis->dcBits, 0, sizeof tAnalysis->dcBits);
    for (MagnitudeCounts*& c : tAnalysis->magnitudeCounts) c = nullptr;
}

namespace {

// Number of significant bits of a non-negative value (0 for 0).
int SignificantBits(int32_t v) { return v > 0 ? 32 - __builtin_clz(static_cast<uint32_t>(v)) : 0; }

AnalysisComponent ComponentOf(const char* name) {
    if (std::strcmp(name, "ChromaCb") == 0) return kChromaCb;
    if (std::strcmp(name, "ChromaCr") == 0) return kChromaCr;
    return kLuma;
}

// The DC predictors' value at the start of a macroblock row, by DC precision.
constexpr int32_t kDcReset[3] = {128, 256, 512};

// Adds the bits of a block's DC differential at each DC precision; `previous` holds the DC
// levels of the block before, which a macroblock row's first block does not use.
void AddDcBits(int32_t c0, bool rowStart, int isLuma, int32_t* previous, int32_t* dcTotals) {
    for (int k = 0; k < 3; ++k) {
        const int32_t d = kIntraDcMult[k];
        const int32_t dc = (d / 2 + c0) / d;
        const int32_t reference = rowStart ? kDcReset[k] : previous[k];
        const int32_t diff = reference - dc;
        const int size = SignificantBits(std::abs(diff));
        dcTotals[k] += DcSizeCodeLength(size, isLuma) + size;
        previous[k] = dc;
    }
}

// Raster index of scan index k.
int RasterIndex(int k) { return kZigZagScan[k].column + 8 * kZigZagScan[k].row; }

// Magnitudes up to 255 give a minimum weight of 1, which every entry already is.
constexpr int32_t kLeastRaisingMagnitude = 256;

// The largest magnitude at each position, raised by a block's AC coefficients (scan order).
void TakeLargestMagnitudes(const int16_t* block, int32_t* largest) {
    for (int k = 1; k < 64; ++k) {
        const int32_t m = block[k] < 0 ? -block[k] : block[k];
        const int p = RasterIndex(k);
        if (m > largest[p]) largest[p] = m;
    }
}

// Counts each non-zero AC coefficient of a block by position and magnitude, and raises the
// largest magnitudes.
void CountMagnitudes(const int16_t* block, MagnitudeCounts& counts, int32_t* largest) {
    for (uint64_t rest = NonZeroLevelBits(block); rest != 0; rest &= rest - 1) {
        const int k = __builtin_ctzll(rest);
        const int32_t m = block[k] < 0 ? -block[k] : block[k];
        const int p = RasterIndex(k);
        ++counts[m][p];
        if (m > largest[p]) largest[p] = m;
    }
}

[[nodiscard]] int AllocateMagnitudeCounts() {
    for (MagnitudeCounts*& c : tAnalysis->magnitudeCounts) {
        c = static_cast<MagnitudeCounts*>(TrackedAlloc(1, sizeof(MagnitudeCounts)));
        if (c == nullptr) return -1;
    }
    return 0;
}

void FreeMagnitudeCounts() {
    for (MagnitudeCounts*& c : tAnalysis->magnitudeCounts) {
        TrackedFree(c);
        c = nullptr;
    }
}

// The parts of the statistics, the larger first so that the job's threads end together: luma's
// upper and lower macroblock rows, Cb, Cr.
constexpr int kPartsInTurn[kStatisticsParts] = {kLuma, kLumaLowerRows, kChromaCb, kChromaCr};

// The extended rule's squared errors of every block, from the parts' counts, into the luma sums
// (BuildErrorTable adds the components' sums): the counts go into part 0's, so the search's lists
// take them from there, and each of the job's threads takes half the positions.
void AddCountedParts(int32_t largest) {
    MagnitudeCounts* const* counts = tAnalysis->magnitudeCounts;
    const int32_t last = largest < kTabulatedMagnitudes - 1 ? largest : kTabulatedMagnitudes - 1;
    auto add = [&](int32_t half) {
        const int first = half == 0 ? 1 : 32, end = half == 0 ? 32 : 64;
        for (int32_t a = 1; a <= last; ++a) {
            for (int p = first; p < end; ++p) {
                for (int i = 1; i < kStatisticsParts; ++i) (*counts[0])[a][p] += (*counts[i])[a][p];
            }
        }
        AddCountedErrors(*counts[0], last, &tAnalysis->errorSums[kLuma], first, end);
    };
    RunChunks(2, add);
}

// The statistics of every block in parts, each raising a minimum weight table of its own and
// summing DC bits and squared errors of its own: the tables merge by their maxima and the sums
// add, as one walk over the blocks would have raised and added them.
void CollectStatistics(const CoefficientStore& store) {
    static const char* const kPartNames[kStatisticsParts] = {"Luma", "ChromaCb", "ChromaCr",
                                                             "Luma"};
    const int32_t upperRows = store.rows / 2;
    StatisticsPart parts[kStatisticsParts];
    for (int i = 0; i < kStatisticsParts; ++i) {
        parts[i] = StatisticsPart{kPartNames[i],
                                  i == kLumaLowerRows ? upperRows : 0,
                                  i == kLuma ? upperRows : store.rows,
                                  tAnalysis->magnitudeCounts[i],
                                  &tAnalysis->errorSums[i],
                                  {},
                                  {},
                                  0};
        for (int32_t& w : parts[i].minWeight) w = 1;
    }
    auto collect = [&](int32_t turn) {
        CollectComponentStatistics(store, &parts[kPartsInTurn[turn]]);
    };
    // The simple rule's statistics are a light walk: shared, the helper's hand-over and its
    // cache misses cost more time than it saves.
    if (tSwitches->extendedAnalysis != 0) {
        RunChunks(kStatisticsParts, collect);
    } else {
        for (int32_t turn = 0; turn < kStatisticsParts; ++turn) collect(turn);
    }
    int32_t largest = 0;
    for (const StatisticsPart& part : parts) {
        for (int p = 0; p < 64; ++p) {
            if (part.minWeight[p] > tAnalysis->minWeight[p])
                tAnalysis->minWeight[p] = part.minWeight[p];
        }
        largest = part.largest > largest ? part.largest : largest;
    }
    for (int k = 0; k < 3; ++k) {
        int32_t bits = 0;
        for (const StatisticsPart& part : parts) bits += part.dcTotals[k];
        tAnalysis->dcBits[k] = bits;
    }
    if (tSwitches->extendedAnalysis == 0) return;
    if (tAnalysis->magnitudeCounts[0] != nullptr) return AddCountedParts(largest);
    ErrorSums& luma = tAnalysis->errorSums[kLuma];
    const ErrorSums& lower = tAnalysis->errorSums[kLumaLowerRows];
    for (int p = 0; p < 64; ++p) {
        for (int w = 0; w < kWeights; ++w) luma[p][w] = WrapAdd(luma[p][w], lower[p][w]);
    }
}

}  // namespace

void RaiseMinimumWeights(const int32_t* largest, int32_t* minWeight) {
    for (int p = 1; p < 64; ++p) {
        const int32_t v = (8 * largest[p] + 2047) / 2047;
        if (v > minWeight[p]) minWeight[p] = v;
    }
}

void CollectComponentStatistics(const CoefficientStore& store, StatisticsPart* part) {
    const AnalysisComponent component = ComponentOf(part->name);
    const int isLuma = component == kLuma;
    const bool extended = tSwitches->extendedAnalysis != 0;
    // The component's blocks of a macroblock: Y0..Y3 (rows, then columns), Cb, Cr.
    const int firstBlock = isLuma ? 0 : 3 + component;
    const int blocks = isLuma ? 4 : 1;
    int32_t previous[3] = {0, 0, 0};
    // The largest magnitude at each position: the minimum weights follow from it.
    int32_t largest[64] = {};

    // Summed here and stored once: the parts' totals share a cache line.
    int32_t totals[3] = {0, 0, 0};
    for (int32_t my = part->firstRow; my < part->endRow; ++my) {
        for (int32_t mx = 0; mx < store.columns; ++mx) {
            const int16_t* stored = MacroblockCoefficients(store, my * store.columns + mx);
            for (int b = firstBlock; b < firstBlock + blocks; ++b) {
                const int16_t* block = stored + 64 * b;
                if (part->counts != nullptr) {
                    CountMagnitudes(block, *part->counts, largest);
                } else if (extended) {
                    int32_t c[64];
                    for (int k = 0; k < 64; ++k) c[RasterIndex(k)] = block[k];
                    ErrorStatistics(c, part->sums, part->minWeight);
                } else if (LargestAcMagnitude(block) >= kLeastRaisingMagnitude) {
                    TakeLargestMagnitudes(block, largest);
                }
                // The DC predictors start afresh with each macroblock row.
                const bool rowStart = mx == 0 && b == firstBlock;
                AddDcBits(block[0], rowStart, isLuma, previous, totals);
            }
        }
    }
    for (int k = 0; k < 3; ++k) part->dcTotals[k] = totals[k];
    RaiseMinimumWeights(largest, part->minWeight);
    part->largest = 0;
    for (int32_t m : largest) part->largest = m > part->largest ? m : part->largest;
}

void ScaleDefaultMatrix(const CoefficientStore& coefficients, int32_t* matrix,
                        const int32_t* minWeight, const int32_t* dcBits, int32_t target) {
    // One estimate alone, for the same reason as the simple rule's statistics.
    const int32_t estimate = EstimateAcBits(coefficients, kDefaultIntraMatrix, 8, false);
    // A far negative target wraps the budget round to a large one.
    const int32_t base = WrapSub(target, HeaderBits(tSettings->FrameHeight / 16));
    for (int k = 0; k < 3; ++k) {
        int32_t available = WrapSub(base, dcBits[k]);
        if (available <= 0) available = 1;
        const double ratio = static_cast<double>(estimate) / available;
        for (int p = 0; p < 64; ++p) {
            int32_t m = ToInt32Indefinite(kDefaultIntraMatrix[p] * ratio + 0.5);
            if (m > 255) m = 255;
            if (m < 1) m = 1;
            if (m < minWeight[p]) m = minWeight[p];
            matrix[p] = m;
        }
        tSettings->IntraDCPrecision = ChooseDcPrecision(matrix);
        if (tSettings->IntraDCPrecision == k) break;
    }
}

int AnalysePicture(int32_t target, CoefficientStore* store) {
    tSettings->IntraDCPrecision = 0;
    int32_t* matrix = tIntraMatrix->weights;
    for (int p = 0; p < 64; ++p) {
        matrix[p] = 0;
        tAnalysis->minWeight[p] = 1;
    }
    if (tSwitches->extendedAnalysis != 0) {
        std::memset(tAnalysis->errorSums, 0, sizeof tAnalysis->errorSums);
        for (auto& row : tAnalysis->errorTable) {
            for (double& e : row) e = 0.0;
        }
    }

    const SamplePlanes picture{tPlanes->y, tPlanes->cb, tPlanes->cr, tSettings->FrameWidth, 0, 0};
    TransformMacroblockRows(picture, 0, store->rows, store);
    // Without the counts the extended rule's statistics go block by block.
    if (tSwitches->extendedAnalysis != 0 && AllocateMagnitudeCounts() != 0) FreeMagnitudeCounts();
    CollectStatistics(*store);
    if (tSwitches->extendedAnalysis != 0)
        BuildErrorTable(tAnalysis->errorSums, tAnalysis->errorTable, tAnalysis->minWeight);

    if (tSwitches->extendedAnalysis != 0) {
        // The search builds its lists from the counts, not from another walk of the store; they
        // go when it ends.
        SearchThreshold(ThresholdSearch{*store, tAnalysis->errorTable, tAnalysis->minWeight,
                                        tAnalysis->dcBits, target, matrix,
                                        tAnalysis->magnitudeCounts[0]});
        FreeMagnitudeCounts();
    } else {
        ScaleDefaultMatrix(*store, matrix, tAnalysis->minWeight, tAnalysis->dcBits, target);
    }
    matrix[0] = 8;
    return 0;
}
