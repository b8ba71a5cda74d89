#include "control/threshold_search.h"

#include <cstring>

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
    int32_t bits = EstimateAcBits(matrix, q);
    int slot = gMemo.next;
    gMemo.next = (gMemo.next + 1) % kRememberedEstimates;
    if (gMemo.count < kRememberedEstimates) ++gMemo.count;
    gMemo.q[slot] = q;
    gMemo.bits[slot] = bits;
    std::memcpy(gMemo.matrix[slot], matrix, sizeof(gMemo.matrix[slot]));
    return bits;
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
                const int64_t total = static_cast<int64_t>(sums[kLuma][p][w]) + sums[kChromaCb][p][w] +
                                      sums[kChromaCr][p][w];
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
    TryThreshold(0.0f, 5.0f, table, minWeight, target, dcBits, matrix, 8, 0);
    if (gThreshold.threshold == 0.0f) {
        // The finest matrix fits at q 8: try it with ever finer estimate quantisers.
        for (int q = 7; q >= 1; --q) {
            TryThreshold(0.0f, 0.5f, table, minWeight, target, dcBits, matrix, q, 0);
            if (gThreshold.threshold != 0.0f) {
                TryThreshold(gThreshold.threshold - 0.4f, 0.1f, table, minWeight, target, dcBits, matrix, q, 0);
                TryThreshold(gThreshold.threshold - 0.1f, 0.1f, table, minWeight, target, dcBits, matrix, q, 1);
                gMemo.active = 0;
                return 0;
            }
            gThreshold.lastEstimateQ = gSettings.IFixedQstep;
        }
        gMemo.active = 0;
        return 0;
    }
    static const float kRefine[6][2] = {{3.0f, 2.0f}, {1.0f, 1.0f},   {0.5f, 0.5f},
                                        {0.3f, 0.2f}, {0.15f, 0.05f}, {0.04f, 0.01f}};
    for (const float* stage : kRefine)
        TryThreshold(gThreshold.threshold - stage[0], stage[1], table, minWeight, target, dcBits, matrix, 8, 0);
    TryThreshold(gThreshold.threshold - 0.01f, 0.01f, table, minWeight, target, dcBits, matrix, 8, 1);
    gMemo.active = 0;
    return 0;
}
