// Extended pre-analysis: the distortion-threshold matrix search.
//
// What is searched: the lowest mean-squared-error threshold whose matrix fits the picture's bit
// budget. For a threshold t each position takes the largest weight whose error stays within t
// (never below its minimum weight); the AC bits of that matrix are estimated at a quantiser q
// and the DC bits of the precision it implies added.
// Stages: a coarse walk from 0 in steps of 5 at q 8; when that fits at once, six finer walks,
// each starting a little below the threshold the one before accepted, then a last one that
// takes the first matrix; when even the finest matrix fits, the same with ever finer q.
// Why scans resume: a rising threshold only moves each position's first weight above it further
// up, so within a walk every position's weight scan goes on from where it stopped.
#include "control/threshold_search.h"

#include <cmath>
#include <cstring>

#include "coding/int32_arith.h"
#include "control/bit_budget.h"
#include "parallel/job_threads.h"
#include "params/settings.h"

thread_local ThresholdState* tThreshold = nullptr;
thread_local CarriedSearchState* tCarriedSearch = nullptr;
thread_local EstimateMemo* tMemo = nullptr;

void ResetThresholdState() { *tThreshold = ThresholdState{}; }
void ResetCarriedSearchState() { *tCarriedSearch = CarriedSearchState{}; }
void ResetEstimateMemo() { std::memset(tMemo, 0, sizeof *tMemo); }

namespace {

// Squared quantisation error of a coefficient of magnitude a with weight w:
// the error of x and of -x are equal, since every division truncates toward zero
// and the odd-reconstruction rule moves toward zero on either side.
constexpr int64_t ErrorTerm(int64_t a, int64_t w) {
    int64_t h = w / 2;
    if (a < h) return a * a;
    int64_t t = (16 * a + h) / w;
    int64_t level = (t + 6) / 16;
    int64_t r = level * w;
    if (r != 0 && r % 2 == 0) r -= 1;
    return (a - r) * (a - r);
}

constexpr ErrorTermTable ErrorTerms() {
    ErrorTermTable table{};
    for (int a = 1; a < kTabulatedMagnitudes; ++a) {
        for (int w = 1; w < kWeights; ++w)
            table.term[a][w] = static_cast<uint16_t>(ErrorTerm(a, w));
    }
    return table;
}

int32_t EstimateWithMemo(const CoefficientStore& coefficients, const int32_t* matrix, int q) {
    if (!tMemo->active) return EstimateAcBits(coefficients, matrix, q);
    for (int i = 0; i < tMemo->count; ++i) {
        if (tMemo->q[i] == q &&
            std::memcmp(tMemo->matrix[i], matrix, sizeof(tMemo->matrix[i])) == 0)
            return tMemo->bits[i];
    }
    const int32_t bits = tMemo->listed ? SearchEstimateAcBits(coefficients, matrix, q)
                                       : EstimateAcBits(coefficients, matrix, q);
    const int slot = tMemo->next;
    tMemo->next = (tMemo->next + 1) % kRememberedEstimates;
    if (tMemo->count < kRememberedEstimates) ++tMemo->count;
    tMemo->q[slot] = q;
    tMemo->bits[slot] = bits;
    std::memcpy(tMemo->matrix[slot], matrix, sizeof(tMemo->matrix[slot]));
    return bits;
}

void StartSearch(const CoefficientStore& coefficients, const MagnitudeCounts* counts) {
    tMemo->active = 1;
    tMemo->count = 0;
    tMemo->next = 0;
    // Without its arrays every estimate is EstimateAcBits itself.
    tMemo->listed = PrepareSearchEstimate(coefficients, counts) == 0;
}

void EndSearch() {
    tMemo->active = 0;
    tMemo->listed = 0;
    ReleaseSearchEstimate();
}

// Where each position's scan for its weight stopped: the first weight from its minimum whose
// error exceeds `limit`, 128 when none does.
struct WeightScan {
    double limit;
    int32_t first[64];
};

WeightScan StartWeightScan(const int32_t* minWeight) {
    WeightScan scan;
    scan.limit = -HUGE_VAL;
    for (int p = 0; p < 64; ++p) scan.first[p] = minWeight[p];
    return scan;
}

// Each position takes the largest weight whose error stays within the
// threshold, never less than its minimum weight. A rising threshold only moves the first weight
// whose error exceeds it further up, so the scan goes on from where it stopped.
void BuildThresholdMatrix(float threshold, const double (*table)[128], const int32_t* minWeight,
                          WeightScan* scan, int32_t* matrix) {
    const double limit = threshold;
    if (!(limit >= scan->limit)) *scan = StartWeightScan(minWeight);
    scan->limit = limit;
    for (int p = 0; p < 64; ++p) {
        int32_t w = scan->first[p];
        while (w <= 127 && !(limit < table[p][w])) ++w;
        scan->first[p] = w;
        matrix[p] = w > 127 ? 127 : w == minWeight[p] ? w : w - 1;
    }
}

// The finest matrix fits at q 8: the same with ever finer estimate quantisers until one
// does not, then two finer stages at that quantiser.
void SearchFinerQuantisers(const ThresholdSearch& search) {
    for (int q = 7; q >= 1; --q) {
        TryThreshold(search, 0.0f, 0.5f, q, 0);
        if (tThreshold->threshold != 0.0f) {
            TryThreshold(search, tThreshold->threshold - 0.4f, 0.1f, q, 0);
            TryThreshold(search, tThreshold->threshold - 0.1f, 0.1f, q, 1);
            return;
        }
        tCarriedSearch->lastEstimateQ = tSettings->IFixedQstep;
    }
}

// Each stage starts a little below the threshold the stage before accepted: {back, step}.
constexpr float kRefinements[6][2] = {{3.0f, 2.0f}, {1.0f, 1.0f},   {0.5f, 0.5f},
                                      {0.3f, 0.2f}, {0.15f, 0.05f}, {0.04f, 0.01f}};

}  // namespace

constexpr ErrorTermTable kErrorTerms = ErrorTerms();

void ErrorStatistics(const int32_t* coefficients, ErrorSums* sums, int32_t* minWeight) {
    for (int p = 1; p < 64; ++p) {
        const int32_t x = coefficients[p];
        if (x == 0) continue;
        const int64_t a = x < 0 ? -static_cast<int64_t>(x) : x;
        const int32_t v = static_cast<int32_t>((8 * a + 2047) / 2047);
        if (v > minWeight[p]) minWeight[p] = v;
        int32_t* sum = (*sums)[p];
        if (a < kTabulatedMagnitudes) {
            const uint16_t* term = kErrorTerms.term[a];
            for (int w = 0; w < kWeights; ++w) sum[w] += term[w];
        } else {
            for (int w = 1; w < kWeights; ++w)
                sum[w] = WrapAdd(sum[w], static_cast<int32_t>(ErrorTerm(a, w) & 0xFFFFFFFF));
        }
    }
}

void AddCountedErrors(const MagnitudeCounts& counts, int32_t largest, ErrorSums* sums,
                      int firstPosition, int endPosition) {
    // The counts past the largest magnitude stay untouched, so their pages are never read.
    const int32_t last = largest < kTabulatedMagnitudes - 1 ? largest : kTabulatedMagnitudes - 1;
    for (int a = 1; a <= last; ++a) {
        const uint16_t* term = kErrorTerms.term[a];
        for (int p = firstPosition; p < endPosition; ++p) {
            const uint32_t n = counts[a][p];
            if (n == 0) continue;
            // Unsigned: the sums wrap as the block-by-block additions would.
            uint32_t* sum = reinterpret_cast<uint32_t*>((*sums)[p]);
            for (int w = 0; w < kWeights; ++w) sum[w] += n * term[w];
        }
    }
}

void BuildErrorTable(const ErrorSums* sums, ErrorTable table, const int32_t* minWeight) {
    const int32_t blocks = (tSettings->FrameHeight / 8) * (tSettings->FrameWidth / 8) +
                           2 * (tSettings->FrameHeight / 16) * (tSettings->FrameWidth / 16);
    const double n = blocks;
    for (int w = 0; w < kWeights; ++w) table[0][w] = 0.0;
    for (int p = 1; p < 64; ++p) {
        for (int w = 1; w < kWeights; ++w) {
            if (w < minWeight[p]) {
                table[p][w] = -1.0;
            } else {
                const int32_t total = WrapAdd(WrapAdd(sums[kLuma][p][w], sums[kChromaCb][p][w]),
                                              sums[kChromaCr][p][w]);
                table[p][w] = static_cast<double>(total) / n;
            }
        }
    }
}

void TryThreshold(const ThresholdSearch& search, float start, float step, int q, int final) {
    int32_t* matrix = search.matrix;
    const int32_t budget = WrapSub(search.target, HeaderBits(tSettings->FrameHeight / 16));
    int32_t lastBits = 0;
    WeightScan scan = StartWeightScan(search.minWeight);
    for (float t = start; t < 200.0f; t = t + step) {
        tThreshold->threshold = t;
        int32_t kept[64];
        std::memcpy(kept, matrix, sizeof(kept));
        BuildThresholdMatrix(t, search.errors, search.minWeight, &scan, matrix);
        const int precision = ChooseDcPrecision(matrix);
        tSettings->IntraDCPrecision = precision;
        matrix[0] = kIntraDcMult[precision];
        if (final) return;
        const bool unchanged = std::memcmp(kept, matrix, sizeof(kept)) == 0;
        if (!unchanged || tSettings->IFixedQstep != tCarriedSearch->lastEstimateQ) {
            const int32_t bits =
                EstimateWithMemo(search.coefficients, matrix, q) + search.dcBits[precision];
            if (bits <= budget) return;
            if (bits == lastBits) return;
            lastBits = bits;
        }
    }
}

void SearchThreshold(const ThresholdSearch& search) {
    // The search's estimates and changes of levels are split one after another.
    const KeptAwake awake;
    StartSearch(search.coefficients, search.counts);
    TryThreshold(search, 0.0f, 5.0f, 8, 0);
    if (tThreshold->threshold == 0.0f) {
        SearchFinerQuantisers(search);
    } else {
        for (const float* stage : kRefinements)
            TryThreshold(search, tThreshold->threshold - stage[0], stage[1], 8, 0);
        TryThreshold(search, tThreshold->threshold - 0.01f, 0.01f, 8, 1);
    }
    EndSearch();
}
