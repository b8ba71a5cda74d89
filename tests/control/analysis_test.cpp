// Pre-analysis: code lengths, the estimate's quantiser, DC bits and the scaled matrix.
#include <gtest/gtest.h>

#include <vector>

#include "api/registry.h"
#include "coding/intra_matrix.h"
#include "coding/scan.h"
#include "control/analysis.h"
#include "convert/planes.h"
#include "params/settings.h"
#include "support/state.h"

namespace {

class AnalysisTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAllState(); }
    void TearDown() override { ResetAllState(); }

    // Flat picture of `luma` with chroma 128, 4:2:0 already (what the analysis reads).
    void FlatPicture(int width, int height, uint8_t luma) {
        gSettings.FrameWidth = width;
        gSettings.FrameHeight = height;
        y_.assign(static_cast<size_t>(width) * height, luma);
        c_.assign(static_cast<size_t>(width / 2) * height, 128);
        d_ = c_;
        gPlanes.y = y_.data();
        gPlanes.cb = c_.data();
        gPlanes.cr = d_.data();
    }
    std::vector<uint8_t> y_, c_, d_;
};

TEST_F(AnalysisTest, DcSizeCodeLengthsFollowTablesB12AndB13) {
    const int luma[12] = {3, 2, 2, 3, 3, 4, 5, 6, 7, 8, 9, 9};
    const int chroma[12] = {2, 2, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10};
    for (int size = 0; size < 12; ++size) {
        EXPECT_EQ(DcSizeCodeLength(size, 1), luma[size]) << size;
        EXPECT_EQ(DcSizeCodeLength(size, 0), chroma[size]) << size;
    }
    EXPECT_EQ(DcSizeCodeLength(12, 1), 12);
}

TEST_F(AnalysisTest, AcCodeLengthsOfTableB15AndEscapes) {
    struct Case { int run, level, bits; };
    const Case cases[] = {
        {0, 1, 3}, {0, -1, 3}, {0, 2, 4}, {0, 3, 5}, {1, 1, 4}, {2, 1, 6}, {2, -1, 6},
        {0, 41, 24}, {0, -41, 24}, {1, 19, 24}, {2, 6, 24}, {17, 2, 24}, {32, 1, 24}, {0, 3000, 24},
    };
    for (const Case& c : cases) EXPECT_EQ(AcCodeLength(c.run, c.level), c.bits) << c.run << "," << c.level;
    // Every pair that the table holds has a real code, shorter than an escape.
    const int longestLevel[32] = {40, 18, 5, 4, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                                  2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int run = 0; run < 32; ++run) {
        for (int level = 1; level <= longestLevel[run]; ++level) {
            EXPECT_LT(AcCodeLength(run, level), 24) << run << "," << level;
            EXPECT_GE(AcCodeLength(run, level), 3) << run << "," << level;
        }
        EXPECT_EQ(AcCodeLength(run, longestLevel[run] + 1), 24) << run;
    }
}

TEST_F(AnalysisTest, EstimateQuantiserAndBitCount) {
    std::vector<int32_t> matrix(64, 16);
    int32_t c[64] = {};
    int32_t levels[64] = {};
    levels[0] = 77;  // position 0 is left alone
    c[1] = 40;       // t = (640 + 8) / 16 = 40, level = (40 + 6) / 16 = 2
    c[2] = -40;
    c[3] = 7;        // t = 7, (7 + 6) / 16 = 0
    c[4] = 2047;     // not limited to 2047
    QuantiseForEstimate(c, levels, matrix.data(), 8);
    EXPECT_EQ(levels[0], 77);
    EXPECT_EQ(levels[1], 2);
    EXPECT_EQ(levels[2], -2);
    EXPECT_EQ(levels[3], 0);
    matrix[4] = 1;
    QuantiseForEstimate(c, levels, matrix.data(), 1);
    EXPECT_EQ(levels[4], (16 * 2047 + 1) / 2);

    int32_t scanned[64] = {};
    EXPECT_EQ(CountAcBits(scanned), 2);
    scanned[1] = 2;
    EXPECT_EQ(CountAcBits(scanned), 4 + 2);
    scanned[4] = -1;  // run 2
    EXPECT_EQ(CountAcBits(scanned), 4 + 6 + 2);
}

TEST_F(AnalysisTest, MinimumWeights) {
    int32_t minWeight[64];
    for (int32_t& w : minWeight) w = 1;
    int32_t c[64] = {};
    c[0] = 2040;  // DC never counts
    c[5] = 2047;
    c[6] = -2047;
    c[7] = 2046;
    c[8] = 255;
    RaiseMinimumWeights(c, minWeight);
    EXPECT_EQ(minWeight[0], 1);
    EXPECT_EQ(minWeight[5], 9);
    EXPECT_EQ(minWeight[6], 9);
    EXPECT_EQ(minWeight[7], 8);
    EXPECT_EQ(minWeight[8], 1);
    c[5] = 1;  // never lowered
    RaiseMinimumWeights(c, minWeight);
    EXPECT_EQ(minWeight[5], 9);
}

TEST_F(AnalysisTest, DcPrecisionFromTheThreeLowestAcWeights) {
    struct Case { int m1, m8, m9, precision; };
    const Case cases[] = {{8, 8, 8, 0}, {16, 19, 22, 0}, {7, 20, 20, 1}, {9, 4, 9, 1},
                          {9, 9, 3, 2}, {1, 30, 30, 2}, {255, 255, 255, 0}};
    for (const Case& c : cases) {
        int32_t matrix[64];
        for (int32_t& m : matrix) m = 1;  // only 1, 8 and 9 count
        matrix[1] = c.m1;
        matrix[8] = c.m8;
        matrix[9] = c.m9;
        EXPECT_EQ(ChooseDcPrecision(matrix), c.precision) << c.m1 << "," << c.m8 << "," << c.m9;
        EXPECT_EQ(gSettings.IntraDCPrecision, c.precision);
    }
}

TEST_F(AnalysisTest, FlatGreyCountsOnlyDcAndGetsTheFinestMatrix) {
    FlatPicture(96, 64, 128);
    ASSERT_EQ(AnalysePicture(160000), 0);
    // 96 luma blocks at 3 bits, 48 chroma blocks at 2 bits, at every precision.
    for (int k = 0; k < 3; ++k) EXPECT_EQ(gAnalysis.dcBits[k], 96 * 3 + 48 * 2) << k;
    for (int p = 0; p < 64; ++p) EXPECT_EQ(gAnalysis.minWeight[p], 1) << p;
    // Estimate 144 x 2 + 24 bits against ~158000 available: every weight scales to 1.
    EXPECT_EQ(gIntraMatrix.weights[0], 8);
    for (int p = 1; p < 64; ++p) EXPECT_EQ(gIntraMatrix.weights[p], 1) << p;
    EXPECT_EQ(gSettings.IntraDCPrecision, 2);
    EXPECT_EQ(TrackedBlocks(), 0);
}

TEST_F(AnalysisTest, NoBudgetLeftGivesTheCoarsestMatrix) {
    FlatPicture(96, 64, 128);
    ASSERT_EQ(AnalysePicture(0), 0);
    EXPECT_EQ(gIntraMatrix.weights[0], 8);
    for (int p = 1; p < 64; ++p) EXPECT_EQ(gIntraMatrix.weights[p], 255) << p;
    EXPECT_EQ(gSettings.IntraDCPrecision, 0);
}

TEST_F(AnalysisTest, DcBitsOfARowStartDependOnPrecision) {
    // Luma mean 125: DC coefficient 1000 in every block of the one macroblock.
    FlatPicture(16, 16, 125);
    ASSERT_EQ(AnalysePicture(160000), 0);
    // Precision 0: diff 3 (2 + 2 bits), then three blocks of diff 0 (3 bits); chroma 2 + 2.
    EXPECT_EQ(gAnalysis.dcBits[0], 4 + 9 + 4);
    EXPECT_EQ(gAnalysis.dcBits[1], 6 + 9 + 4);  // diff 256 - 250 = 6
    EXPECT_EQ(gAnalysis.dcBits[2], 7 + 9 + 4);  // diff 512 - 500 = 12
}

TEST_F(AnalysisTest, BudgetScalesTheDefaultMatrix) {
    // A vertical ramp has AC energy; a smaller target asks for coarser weights.
    FlatPicture(96, 64, 0);
    for (int row = 0; row < 64; ++row) {
        for (int col = 0; col < 96; ++col) y_[row * 96 + col] = static_cast<uint8_t>((col * 37 + row * 11) % 256);
    }
    ASSERT_EQ(AnalysePicture(1800000), 0);
    std::vector<int32_t> fine(gIntraMatrix.weights, gIntraMatrix.weights + 64);
    ASSERT_EQ(AnalysePicture(6000), 0);
    std::vector<int32_t> coarse(gIntraMatrix.weights, gIntraMatrix.weights + 64);
    for (int p = 1; p < 64; ++p) {
        EXPECT_LE(fine[p], coarse[p]) << p;
        EXPECT_GE(fine[p], gAnalysis.minWeight[p]) << p;
    }
    EXPECT_GT(coarse[63], fine[63]);
}

TEST_F(AnalysisTest, PictureEstimateIsTheSumOfItsBlocks) {
    // The whole-picture estimate skips what quantises to zero; it must agree with
    // quantising and counting every block of the stored coefficients.
    FlatPicture(96, 64, 0);
    uint32_t seed = 3;
    for (auto* plane : {&y_, &c_, &d_}) {
        for (size_t i = 0; i < plane->size(); ++i) {
            seed = seed * 1103515245u + 12345u;
            (*plane)[i] = static_cast<uint8_t>((i % 96) * 2 + (seed >> 26));
        }
    }
    std::vector<int32_t> luma(96 * 64), cb(48 * 64), cr(48 * 64);
    gAnalysis.coefficients[kLuma] = luma.data();
    gAnalysis.coefficients[kChromaCb] = cb.data();
    gAnalysis.coefficients[kChromaCr] = cr.data();
    int32_t dc[3];
    for (int32_t& w : gAnalysis.minWeight) w = 1;
    CollectComponentStatistics("Luma", &gAnalysis.errorSums[kLuma], dc, gAnalysis.minWeight);
    CollectComponentStatistics("ChromaCb", &gAnalysis.errorSums[kChromaCb], dc, gAnalysis.minWeight);
    CollectComponentStatistics("ChromaCr", &gAnalysis.errorSums[kChromaCr], dc, gAnalysis.minWeight);

    auto reference = [&](const int32_t* matrix, int q) {
        int32_t bits = 6 * 4;  // one per macroblock
        auto add = [&](const std::vector<int32_t>& plane, int stride, int bx, int by) {
            int32_t c[64], levels[64], scanned[64] = {};
            for (int i = 0; i < 64; ++i) c[i] = plane[(8 * by + i / 8) * stride + 8 * bx + i % 8];
            QuantiseForEstimate(c, levels, matrix, q);
            for (int k = 1; k < 64; ++k) scanned[k] = levels[kZigZagScan[k].column + 8 * kZigZagScan[k].row];
            bits += CountAcBits(scanned);
        };
        for (int by = 0; by < 8; ++by) {
            for (int bx = 0; bx < 12; ++bx) add(luma, 96, bx, by);
        }
        for (int by = 0; by < 4; ++by) {
            for (int bx = 0; bx < 6; ++bx) {
                add(cb, 48, bx, by);
                add(cr, 48, bx, by);
            }
        }
        return bits;
    };
    std::vector<int32_t> ones(64, 1), steep(64);
    for (int p = 0; p < 64; ++p) steep[p] = 1 + 4 * p;
    for (int q : {1, 2, 7, 8, 31}) {
        EXPECT_EQ(EstimateAcBits(kDefaultIntraMatrix, q), reference(kDefaultIntraMatrix, q)) << q;
        EXPECT_EQ(EstimateAcBits(ones.data(), q), reference(ones.data(), q)) << q;
        EXPECT_EQ(EstimateAcBits(steep.data(), q), reference(steep.data(), q)) << q;
    }
    for (int32_t*& plane : gAnalysis.coefficients) plane = nullptr;
}

}  // namespace
