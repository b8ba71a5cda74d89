#include "control/analysis.h"

#include <cstdlib>
#include <cstring>

#include "api/registry.h"
#include "coding/intra_matrix.h"
#include "coding/scan.h"
#include "coding/transform.h"
#include "coding/vlc_tables.h"
#include "control/threshold_search.h"
#include "convert/planes.h"
#include "params/job_switches.h"
#include "params/settings.h"

AnalysisState gAnalysis;

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

void FreeAnalysisPlanes() {
    for (int32_t*& plane : gAnalysis.coefficients) {
        TrackedFree(plane);
        plane = nullptr;
    }
}

}  // namespace

int32_t DcSizeCodeLength(int size, int isLuma) {
    if (size < 0 || size > 11) return size;
    return isLuma ? kDcSizeLuma[size].length : kDcSizeChroma[size].length;
}

int32_t AcCodeLength(int run, int level) {
    const AcCode* code = FindAcCode(AcCodeIndex(), run, level);
    // Escape: 6 bits of code, 6 of run, 12 of level.
    return code != nullptr ? code->length : 24;
}

void QuantiseForEstimate(const int32_t* coefficients, int32_t* levels, const int32_t* matrix,
                         int q) {
    const int32_t offset = (3 * q + 2) / 4;
    const int32_t step = 2 * q;
    for (int p = 1; p < 64; ++p) {
        int32_t x = coefficients[p];
        int32_t w = matrix[p];
        if (x == 0) {
            levels[p] = 0;
        } else if (x > 0) {
            int32_t t = (16 * x + w / 2) / w;
            levels[p] = (t + offset) / step;
        } else {
            int32_t t = (16 * x - w / 2) / w;
            levels[p] = (t - offset) / step;
        }
    }
}

int32_t CountAcBits(const int32_t* scanned) {
    int32_t bits = 0;
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        if (scanned[k] == 0) {
            ++run;
        } else {
            bits += AcCodeLength(run, scanned[k]);
            run = 0;
        }
    }
    return bits + 2;  // end of block
}

int32_t EstimateAcBits(const int32_t* matrix, int q) {
    const int32_t width = gSettings.FrameWidth;
    const int32_t chromaWidth = width / 2;
    const int32_t mbColumns = width / 16;
    const int32_t mbRows = gSettings.FrameHeight / 16;
    const int32_t offset = (3 * q + 2) / 4;
    const int32_t step = 2 * q;
    const AcIndex& codes = AcCodeIndex();

    // Per scan position: plane offset within the block, weight, and the smallest
    // magnitude whose level is not 0, which is when 16|x| + w/2 >= (2q - offset) w.
    int32_t rowOf[64], columnOf[64], weight[64], nonZeroFrom[64];
    for (int k = 1; k < 64; ++k) {
        const int32_t p = kZigZagScan[k].column + 8 * kZigZagScan[k].row;
        const int32_t w = matrix[p];
        rowOf[k] = kZigZagScan[k].row;
        columnOf[k] = kZigZagScan[k].column;
        weight[k] = w;
        const int32_t need = (step - offset) * w - w / 2;  // 16|x| must reach this
        nonZeroFrom[k] = need <= 0 ? 1 : (need + 15) / 16;
    }

    // The same levels and code lengths as QuantiseForEstimate and CountAcBits,
    // without the divisions for coefficients that quantise to 0.
    auto blockBits = [&](const int32_t* plane, int32_t stride, int32_t bx, int32_t by) {
        const int32_t* origin = plane + static_cast<int64_t>(8 * by) * stride + 8 * bx;
        int32_t bits = 2;  // end of block
        int run = 0;
        for (int k = 1; k < 64; ++k) {
            const int32_t x = origin[static_cast<int64_t>(rowOf[k]) * stride + columnOf[k]];
            const int32_t magnitude = x < 0 ? -x : x;
            if (magnitude < nonZeroFrom[k]) {
                ++run;
                continue;
            }
            const int32_t w = weight[k];
            const int32_t level = ((16 * magnitude + w / 2) / w + offset) / step;
            const AcCode* code = FindAcCode(codes, run, level);
            bits += code != nullptr ? code->length : 24;
            run = 0;
        }
        return bits;
    };

    int32_t bits = 0;
    for (int32_t my = 0; my < mbRows; ++my) {
        for (int32_t mx = 0; mx < mbColumns; ++mx) {
            bits += blockBits(gAnalysis.coefficients[kChromaCr], chromaWidth, mx, my);
            bits += blockBits(gAnalysis.coefficients[kChromaCb], chromaWidth, mx, my);
            for (int j = 0; j < 2; ++j) {
                for (int i = 0; i < 2; ++i)
                    bits += blockBits(gAnalysis.coefficients[kLuma], width, 2 * mx + i, 2 * my + j);
            }
        }
    }
    // One bit per macroblock for its header.
    return bits + mbColumns * mbRows;
}

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
    const int32_t mbColumns = gSettings.FrameWidth / 16;
    const int32_t mbRows = gSettings.FrameHeight / 16;
    static const int32_t kDivisor[3] = {8, 4, 2};
    static const int32_t kReset[3] = {128, 256, 512};
    int32_t previous[3] = {0, 0, 0};
    int32_t samples[64];
    int32_t c[64];

    dcTotals[0] = dcTotals[1] = dcTotals[2] = 0;
    for (int32_t my = 0; my < mbRows; ++my) {
        for (int32_t mx = 0; mx < mbColumns; ++mx) {
            for (int br = 0; br < b; ++br) {
                for (int bc = 0; bc < b; ++bc) {
                    const int32_t bx = mx * b + bc;
                    const int32_t by = my * b + br;
                    const int64_t origin = static_cast<int64_t>(8 * by) * stride + 8 * bx;
                    for (int r = 0; r < 8; ++r) {
                        for (int k = 0; k < 8; ++k)
                            samples[8 * r + k] =
                                plane[origin + static_cast<int64_t>(r) * stride + k];
                    }
                    ForwardDct(samples, c);
                    for (int r = 0; r < 8; ++r) {
                        std::memcpy(store + origin + static_cast<int64_t>(r) * stride, c + 8 * r,
                                    8 * sizeof(int32_t));
                    }

                    if (gSwitches.extendedAnalysis != 0) {
                        ErrorStatistics(c, sums, minWeight);
                    } else {
                        RaiseMinimumWeights(c, minWeight);
                    }

                    const bool rowStart = mx == 0 && br == 0 && bc == 0;
                    for (int k = 0; k < 3; ++k) {
                        const int32_t d = kDivisor[k];
                        const int32_t dc = (d / 2 + c[0]) / d;
                        const int32_t reference = rowStart ? kReset[k] : previous[k];
                        const int32_t diff = reference - dc;
                        const int size = SignificantBits(std::abs(diff));
                        dcTotals[k] += DcSizeCodeLength(size, isLuma) + size;
                        previous[k] = dc;
                    }
                }
            }
        }
    }
}

int ChooseDcPrecision(const int32_t* matrix) {
    int32_t v = 8;
    if (matrix[1] < v) v = matrix[1];
    if (matrix[8] < v) v = matrix[8];
    if (matrix[9] < v) v = matrix[9];
    int precision = 2;
    if (v == 8) {
        precision = 0;
    } else if (v >= 4) {
        precision = 1;
    }
    gSettings.IntraDCPrecision = precision;
    return precision;
}

int ScaleDefaultMatrix(int32_t* matrix, const int32_t* minWeight, const int32_t* dcBits,
                       int32_t target) {
    const int32_t estimate = EstimateAcBits(kDefaultIntraMatrix, 8);
    // 40 bits per macroblock row and 1392 for the picture go to headers.
    const int32_t base = target - 40 * (gSettings.FrameHeight / 16) - 1392;
    for (int k = 0; k < 3; ++k) {
        int32_t available = base - dcBits[k];
        if (available <= 0) available = 1;
        const double ratio = static_cast<double>(estimate) / available;
        for (int p = 0; p < 64; ++p) {
            const double scaled = kDefaultIntraMatrix[p] * ratio + 0.5;
            int32_t m = scaled >= 255.0 ? 255 : static_cast<int32_t>(scaled);
            if (m < 1) m = 1;
            if (m < minWeight[p]) m = minWeight[p];
            matrix[p] = m;
        }
        if (ChooseDcPrecision(matrix) == k) break;
    }
    return 0;
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
        SearchThreshold(gAnalysis.errorTable, matrix, gAnalysis.minWeight, gAnalysis.dcBits,
                        target);
    } else {
        ScaleDefaultMatrix(matrix, gAnalysis.minWeight, gAnalysis.dcBits, target);
    }
    matrix[0] = 8;

    FreeAnalysisPlanes();
    return 0;
}
