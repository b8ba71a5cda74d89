// Pre-analysis: the working intra matrix and the DC precision from the picture's DCT statistics.
#include "control/analysis.h"

#include <cstdlib>
#include <cstring>

#include "api/registry.h"
#include "coding/int32_arith.h"
#include "coding/quantise.h"
#include "coding/tables.h"
#include "coding/transform.h"
#include "control/bit_budget.h"
#include "convert/planes.h"
#include "params/job_switches.h"
#include "params/settings.h"

AnalysisState gAnalysis;

void ResetAnalysis() { std::memset(&gAnalysis, 0, sizeof gAnalysis); }

namespace {

// Number of significant bits of a non-negative value (0 for 0).
int SignificantBits(int32_t v) { return v > 0 ? 32 - __builtin_clz(static_cast<uint32_t>(v)) : 0; }

AnalysisComponent ComponentOf(const char* name) {
    if (std::strcmp(name, "ChromaCb") == 0) return kChromaCb;
    if (std::strcmp(name, "ChromaCr") == 0) return kChromaCr;
    return kLuma;
}

const uint8_t* PlaneOf(AnalysisComponent c) {
    if (c == kChromaCb) return gPlanes.cb;
    if (c == kChromaCr) return gPlanes.cr;
    return gPlanes.y;
}

AnalysisPlanes StoredCoefficients() {
    const int32_t* const* c = gAnalysis.coefficients;
    return AnalysisPlanes{
        {c[kLuma], c[kChromaCb], c[kChromaCr]}, gSettings.FrameWidth, gSettings.FrameHeight};
}

// The samples of block (bx, by) through the transform into c, and into the store at the
// block's own place.
void TransformAndStore(const uint8_t* plane, int32_t* store, int32_t stride, int32_t bx, int32_t by,
                       int32_t* c) {
    const int64_t origin = static_cast<int64_t>(8 * by) * stride + 8 * bx;
    int32_t samples[64];
    for (int r = 0; r < 8; ++r) {
        for (int k = 0; k < 8; ++k)
            samples[8 * r + k] = plane[origin + static_cast<int64_t>(r) * stride + k];
    }
    ForwardDct(samples, c);
    for (int r = 0; r < 8; ++r) {
        std::memcpy(store + origin + static_cast<int64_t>(r) * stride, c + 8 * r,
                    8 * sizeof(int32_t));
    }
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

void FreeAnalysisPlanes() {
    for (int32_t*& plane : gAnalysis.coefficients) {
        TrackedFree(plane);
        plane = nullptr;
    }
}

[[nodiscard]] int AllocateAnalysisPlanes() {
    const uint64_t width = static_cast<uint64_t>(gSettings.FrameWidth);
    const uint64_t height = static_cast<uint64_t>(gSettings.FrameHeight);
    const uint64_t lumaCount = width * height;
    const uint64_t chromaCount = (width + 1) * (height + 1) / 2;
    gAnalysis.coefficients[kLuma] = static_cast<int32_t*>(TrackedAlloc(lumaCount, sizeof(int32_t)));
    gAnalysis.coefficients[kChromaCb] =
        static_cast<int32_t*>(TrackedAlloc(chromaCount, sizeof(int32_t)));
    gAnalysis.coefficients[kChromaCr] =
        static_cast<int32_t*>(TrackedAlloc(chromaCount, sizeof(int32_t)));
    if (gAnalysis.coefficients[kLuma] == nullptr || gAnalysis.coefficients[kChromaCb] == nullptr ||
        gAnalysis.coefficients[kChromaCr] == nullptr) {
        FreeAnalysisPlanes();
        return -1;
    }
    return 0;
}

}  // namespace

void RaiseMinimumWeights(const int32_t* coefficients, int32_t* minWeight) {
    for (int p = 1; p < 64; ++p) {
        // Magnitudes up to 255 give 1, which every entry already is.
        if (coefficients[p] < 256 && coefficients[p] > -256) continue;
        const int32_t v = (8 * std::abs(coefficients[p]) + 2047) / 2047;
        if (v > minWeight[p]) minWeight[p] = v;
    }
}

void CollectComponentStatistics(const char* name, ErrorSums* sums, int32_t* dcTotals,
                                int32_t* minWeight) {
    const AnalysisComponent component = ComponentOf(name);
    const int isLuma = component == kLuma;
    const int b = isLuma ? 2 : 1;
    const int32_t stride = isLuma ? gSettings.FrameWidth : gSettings.FrameWidth / 2;
    const uint8_t* plane = PlaneOf(component);
    int32_t* store = gAnalysis.coefficients[component];
    int32_t previous[3] = {0, 0, 0};
    int32_t c[64];

    dcTotals[0] = dcTotals[1] = dcTotals[2] = 0;
    for (int32_t my = 0; my < gSettings.FrameHeight / 16; ++my) {
        for (int32_t mx = 0; mx < gSettings.FrameWidth / 16; ++mx) {
            for (int br = 0; br < b; ++br) {
                for (int bc = 0; bc < b; ++bc) {
                    TransformAndStore(plane, store, stride, mx * b + bc, my * b + br, c);
                    if (gSwitches.extendedAnalysis != 0) {
                        ErrorStatistics(c, sums, minWeight);
                    } else {
                        RaiseMinimumWeights(c, minWeight);
                    }
                    const bool rowStart = mx == 0 && br == 0 && bc == 0;
                    AddDcBits(c[0], rowStart, isLuma, previous, dcTotals);
                }
            }
        }
    }
}

void ScaleDefaultMatrix(const AnalysisPlanes& coefficients, int32_t* matrix,
                        const int32_t* minWeight, const int32_t* dcBits, int32_t target) {
    const int32_t estimate = EstimateAcBits(coefficients, kDefaultIntraMatrix, 8);
    // A far negative target wraps the budget round to a large one.
    const int32_t base = WrapSub(target, HeaderBits(gSettings.FrameHeight / 16));
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
        gSettings.IntraDCPrecision = ChooseDcPrecision(matrix);
        if (gSettings.IntraDCPrecision == k) break;
    }
}

int AnalysePicture(int32_t target) {
    gSettings.IntraDCPrecision = 0;
    int32_t* matrix = gIntraMatrix.weights;
    for (int p = 0; p < 64; ++p) {
        matrix[p] = 0;
        gAnalysis.minWeight[p] = 1;
    }
    std::memset(gAnalysis.errorSums, 0, sizeof gAnalysis.errorSums);
    for (auto& row : gAnalysis.errorTable) {
        for (double& e : row) e = 0.0;
    }

    if (AllocateAnalysisPlanes() != 0) return -1;

    int32_t dcLuma[3];
    int32_t dcCb[3];
    int32_t dcCr[3];
    CollectComponentStatistics("Luma", &gAnalysis.errorSums[kLuma], dcLuma, gAnalysis.minWeight);
    CollectComponentStatistics("ChromaCb", &gAnalysis.errorSums[kChromaCb], dcCb,
                               gAnalysis.minWeight);
    CollectComponentStatistics("ChromaCr", &gAnalysis.errorSums[kChromaCr], dcCr,
                               gAnalysis.minWeight);
    if (gSwitches.extendedAnalysis != 0)
        BuildErrorTable(gAnalysis.errorSums, gAnalysis.errorTable, gAnalysis.minWeight);
    for (int k = 0; k < 3; ++k) gAnalysis.dcBits[k] = dcLuma[k] + dcCb[k] + dcCr[k];

    if (gSwitches.extendedAnalysis != 0) {
        SearchThreshold(ThresholdSearch{StoredCoefficients(), gAnalysis.errorTable,
                                        gAnalysis.minWeight, gAnalysis.dcBits, target, matrix});
    } else {
        ScaleDefaultMatrix(StoredCoefficients(), matrix, gAnalysis.minWeight, gAnalysis.dcBits,
                           target);
    }
    matrix[0] = 8;

    FreeAnalysisPlanes();
    return 0;
}
