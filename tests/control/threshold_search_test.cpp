// The distortion-threshold search: error statistics, error table, matrix rule,
// single-precision thresholds and the last estimate quantiser across jobs.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "api/registry.h"
#include "control/analysis.h"
#include "control/threshold_search.h"
#include "params/settings.h"
#include "support/state.h"

namespace {

// Straight from the rule, one weight at a time, in 32-bit arithmetic.
void ReferenceErrorStatistics(const int32_t* c, ErrorSums* sums, int32_t* minWeight) {
    for (int p = 1; p < 64; ++p) {
        const int32_t x = c[p];
        if (x == 0) continue;
        const int32_t v = (8 * (x < 0 ? -x : x) + 2047) / 2047;
        if (v > minWeight[p]) minWeight[p] = v;
        for (int32_t w = 1; w <= 127; ++w) {
            const int32_t h = w / 2;
            int32_t e;
            if (x > 0) {
                if (x < h) {
                    e = x;
                } else {
                    int32_t r = ((16 * x + h) / w + 6) / 16 * w;
                    if (r != 0 && r % 2 == 0) r -= 1;
                    e = x - r;
                }
            } else {
                if (x > -h) {
                    e = x;
                } else {
                    int32_t r = ((16 * x - h) / w - 6) / 16 * w;
                    if (r != 0 && r % 2 == 0) r += 1;
                    e = x - r;
                }
            }
            (*sums)[p][w] += e * e;
        }
    }
}

typedef double ErrorTable[64][128];

class ThresholdSearch : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        std::memset(&gAnalysis, 0, sizeof(gAnalysis));
        table = reinterpret_cast<ErrorTable*>(tableStorage.data());
        for (int p = 0; p < 64; ++p) minWeight[p] = 1;
    }
    void TearDown() override {
        for (auto& plane : gAnalysis.coefficients) plane = nullptr;
    }

    // One macroblock, 16 x 16, whose only non-zero AC coefficient is `value` at
    // position 1 of the first luma block.
    void UseOneMacroblock(int32_t value) {
        gSettings.FrameWidth = 16;
        gSettings.FrameHeight = 16;
        luma.assign(256, 0);
        cb.assign(144, 0);
        cr.assign(144, 0);
        luma[0] = 1024;
        luma[1] = value;
        cb[0] = cr[0] = 1024;
        gAnalysis.coefficients[kLuma] = luma.data();
        gAnalysis.coefficients[kChromaCb] = cb.data();
        gAnalysis.coefficients[kChromaCr] = cr.data();
    }

    // Weight 1 at position 1 while the threshold stays below `step`; every
    // other weight can reach 127.
    void UseStepAtPositionOne(double step) {
        for (int w = 2; w <= 127; ++w) (*table)[1][w] = step;
    }

    std::vector<double> tableStorage = std::vector<double>(64 * 128, 0.0);
    ErrorTable* table = nullptr;
    int32_t minWeight[64];
    int32_t matrix[64] = {};
    int32_t dcBits[3] = {30, 32, 34};
    std::vector<int32_t> luma, cb, cr;
};

struct ErrorCase {
    int32_t x;
    int32_t w;
    int32_t error;
};

TEST_F(ThresholdSearch, ErrorTermsOfHandComputedCoefficients) {
    const ErrorCase cases[] = {
        {40, 16, 81},   // t 40, L (40 + 6) / 16 = 2, r 32 is even: 31
        {-40, 16, 81},  // t -40, L -2, r -32 moved toward zero: -31
        {10, 16, 25},   // the 6/16 offset lifts L to 1: r 16, then 15
        {3, 10, 9},     // below half a step: x squared
        {-3, 10, 9},
        {5, 10, 25},    // x = h is no longer below it: t 8, L 0, r 0
        {45, 15, 0},    // r 45 is odd and stays
        {-45, 15, 0},
        {1, 1, 0},
        {-2047, 127, 256},  // t -258, L -16, r -2032 is even: -2031
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "x " << c.x << " w " << c.w);
        std::memset(gAnalysis.errorSums, 0, sizeof(gAnalysis.errorSums));
        int32_t block[64] = {};
        block[9] = c.x;
        ErrorStatistics(block, &gAnalysis.errorSums[kLuma], minWeight);
        ErrorStatistics(block, &gAnalysis.errorSums[kLuma], minWeight);
        EXPECT_EQ(gAnalysis.errorSums[kLuma][9][c.w], 2 * c.error);
        EXPECT_EQ(gAnalysis.errorSums[kLuma][9][0], 0);
        EXPECT_EQ(gAnalysis.errorSums[kLuma][10][c.w], 0);
    }
}

TEST_F(ThresholdSearch, MinimumWeightsOnlyRise) {
    int32_t block[64] = {};
    block[0] = 2040;   // DC never counts
    block[1] = 2047;   // (8 * 2047 + 2047) / 2047 = 9
    block[2] = -256;   // 2
    block[3] = -255;   // (2040 + 2047) / 2047 = 1
    minWeight[3] = 4;
    ErrorStatistics(block, &gAnalysis.errorSums[kLuma], minWeight);
    EXPECT_EQ(minWeight[0], 1);
    EXPECT_EQ(minWeight[1], 9);
    EXPECT_EQ(minWeight[2], 2);
    EXPECT_EQ(minWeight[3], 4);
}

TEST_F(ThresholdSearch, ErrorSumsMatchTheReferenceOnRandomBlocks) {
    std::mt19937 random(20261205);
    std::uniform_int_distribution<int32_t> value(-2048, 2047), small(-40, 40), kind(0, 9);
    static ErrorSums reference;
    std::memset(reference, 0, sizeof(reference));
    int32_t referenceMin[64];
    for (int32_t& m : referenceMin) m = 1;
    for (int block = 0; block < 3000; ++block) {
        int32_t c[64];
        for (int32_t& x : c) {
            const int k = kind(random);
            x = k < 4 ? 0 : k < 8 ? small(random) : value(random);
        }
        if (block == 0) c[5] = 2048, c[6] = -2048, c[7] = 5000, c[8] = -70000;
        ErrorStatistics(c, &gAnalysis.errorSums[kChromaCb], minWeight);
        ReferenceErrorStatistics(c, &reference, referenceMin);
    }
    EXPECT_EQ(std::memcmp(reference, gAnalysis.errorSums[kChromaCb], sizeof(reference)), 0);
    EXPECT_EQ(std::memcmp(referenceMin, minWeight, sizeof(referenceMin)), 0);
}

TEST_F(ThresholdSearch, ErrorTableIsTheMeanPerAnalysedBlock) {
    gSettings.FrameWidth = 32;
    gSettings.FrameHeight = 16;  // 8 luma blocks and 2 + 2 chroma blocks
    minWeight[4] = 3;
    gAnalysis.errorSums[kLuma][4][3] = 100;
    gAnalysis.errorSums[kChromaCb][4][3] = 20;
    gAnalysis.errorSums[kChromaCr][4][3] = 5;
    gAnalysis.errorSums[kLuma][4][2] = 7;  // below the minimum weight
    gAnalysis.errorSums[kLuma][0][5] = 7;  // the DC row is not built
    BuildErrorTable(gAnalysis.errorSums, *table, minWeight);
    EXPECT_EQ((*table)[4][1], -1.0);
    EXPECT_EQ((*table)[4][2], -1.0);
    EXPECT_EQ((*table)[4][3], 125.0 / 12.0);
    EXPECT_EQ((*table)[4][4], 0.0);
    EXPECT_EQ((*table)[0][5], 0.0);
}

TEST_F(ThresholdSearch, MatrixRuleAtTheEdges) {
    minWeight[2] = 3;
    minWeight[3] = 2;
    (*table)[2][3] = 6.0;   // first weight tried already above: keeps 3
    (*table)[3][2] = 1.0;   // exceeds at 9: 8
    for (int w = 9; w <= 127; ++w) (*table)[3][w] = 6.0;
    (*table)[4][127] = 5.0;  // never above 5: 127
    TryThreshold(5.0f, 1.0f, *table, minWeight, 0, dcBits, matrix, 8, 1);
    EXPECT_EQ(gThreshold.threshold, 5.0f);
    EXPECT_EQ(matrix[2], 3);
    EXPECT_EQ(matrix[3], 8);
    EXPECT_EQ(matrix[4], 127);
    EXPECT_EQ(matrix[0], 8);

    // Below 0 every position keeps its minimum weight.
    minWeight[9] = 9;
    TryThreshold(-0.5f, 1.0f, *table, minWeight, 0, dcBits, matrix, 8, 1);
    for (int p = 1; p < 64; ++p) EXPECT_EQ(matrix[p], minWeight[p]) << p;

    // A start at 200 leaves matrix and threshold alone.
    TryThreshold(200.0f, 1.0f, *table, minWeight, 0, dcBits, matrix, 8, 1);
    EXPECT_EQ(gThreshold.threshold, -0.5f);
    EXPECT_EQ(matrix[3], 2);
}

TEST_F(ThresholdSearch, DcEntryFollowsThePrecision) {
    const int32_t lowest[][2] = {{127, 8}, {8, 8}, {7, 4}, {4, 4}, {3, 2}, {1, 2}};
    for (const auto& c : lowest) {
        std::memset(tableStorage.data(), 0, tableStorage.size() * sizeof(double));
        for (int w = c[0] + 1; w <= 127; ++w) (*table)[8][w] = 1.0;
        TryThreshold(0.5f, 1.0f, *table, minWeight, 0, dcBits, matrix, 8, 1);
        EXPECT_EQ(matrix[8], c[0]);
        EXPECT_EQ(matrix[0], c[1]) << "lowest weight " << c[0];
    }
}

// With every estimate skipped, the thresholds are pure float arithmetic: a
// double-precision sum ends at 199.99 (0x1.8ffae2p+7) or reaches 200 instead.
TEST_F(ThresholdSearch, ThresholdsAreSinglePrecision) {
    gThreshold.lastEstimateQ = gSettings.IFixedQstep;
    for (int p = 1; p < 64; ++p) matrix[p] = 127;
    matrix[0] = 8;
    TryThreshold(199.9f, 0.01f, *table, minWeight, 0, dcBits, matrix, 8, 0);
    EXPECT_EQ(gThreshold.threshold, 0x1.8ffff8p+7f);
    SearchThreshold(*table, matrix, minWeight, dcBits, 0);
    EXPECT_EQ(gThreshold.threshold, 0x1.8ffadcp+7f);
    EXPECT_EQ(matrix[1], 127);
}

// A matrix that does not change between thresholds: without a stage-2 history
// its second estimate equals the first and ends the stage; with one it is not
// estimated again and the threshold climbs on.
TEST_F(ThresholdSearch, UnchangedMatrixEndsOrIsSteppedOver) {
    UseOneMacroblock(500);
    UseStepAtPositionOne(12.0);
    const int32_t noBudget = 40 + 1392;
    TryThreshold(0.0f, 5.0f, *table, minWeight, noBudget, dcBits, matrix, 8, 0);
    EXPECT_EQ(gThreshold.threshold, 5.0f);
    EXPECT_EQ(matrix[1], 1);
    EXPECT_EQ(matrix[0], 2);

    gThreshold.lastEstimateQ = gSettings.IFixedQstep;
    std::memset(matrix, 0, sizeof(matrix));
    TryThreshold(0.0f, 5.0f, *table, minWeight, noBudget, dcBits, matrix, 8, 0);
    EXPECT_EQ(gThreshold.threshold, 195.0f);
    EXPECT_EQ(matrix[1], 127);
    EXPECT_EQ(matrix[0], 8);
}

TEST_F(ThresholdSearch, FittingBudgetStopsAtTheFirstMatrixThatFits) {
    UseOneMacroblock(500);
    UseStepAtPositionOne(12.0);
    gThreshold.lastEstimateQ = gSettings.IFixedQstep;
    int32_t fine[64], coarse[64];
    for (int p = 0; p < 64; ++p) fine[p] = coarse[p] = 127;
    fine[1] = 1;
    const int32_t fineBits = EstimateAcBits(fine, 8) + dcBits[2];
    const int32_t coarseBits = EstimateAcBits(coarse, 8) + dcBits[0];
    ASSERT_LT(coarseBits, fineBits);
    TryThreshold(0.0f, 5.0f, *table, minWeight, coarseBits + 1432, dcBits, matrix, 8, 0);
    EXPECT_EQ(gThreshold.threshold, 15.0f);
    TryThreshold(0.0f, 5.0f, *table, minWeight, fineBits + 1432, dcBits, matrix, 8, 0);
    EXPECT_EQ(gThreshold.threshold, 0.0f);
    EXPECT_EQ(matrix[1], 1);
}

TEST_F(ThresholdSearch, SearchEstimateEqualsEstimateAcBits) {
    gSettings.FrameWidth = 48;
    gSettings.FrameHeight = 32;
    std::mt19937 random(5);
    std::uniform_int_distribution<int32_t> kind(0, 9), small(-30, 30), large(-2048, 2047);
    std::vector<int32_t> planes[3] = {std::vector<int32_t>(48 * 32), std::vector<int32_t>(49 * 33 / 2),
                                      std::vector<int32_t>(49 * 33 / 2)};
    for (int c = 0; c < 3; ++c) {
        for (int32_t& x : planes[c]) {
            const int k = kind(random);
            x = k < 5 ? 0 : k < 9 ? small(random) : large(random);
        }
        gAnalysis.coefficients[c] = planes[c].data();
    }
    ASSERT_EQ(PrepareSearchEstimate(), 0);
    std::uniform_int_distribution<int32_t> weight(1, 127), fine(1, 4), q(1, 8);
    for (int32_t& w : matrix) w = 16;
    std::uniform_int_distribution<int32_t> position(1, 63), changes(1, 10);
    int quantiser = 8;
    for (int trial = 0; trial < 300; ++trial) {
        // Mostly a few weights changed from the matrix before, as the stages do.
        if (trial % 4 == 0) {
            for (int32_t& w : matrix) w = trial % 3 == 0 ? fine(random) : weight(random);
        } else {
            for (int n = changes(random); n > 0; --n) matrix[position(random)] = weight(random);
        }
        if (trial % 10 == 0) quantiser = q(random);
        ASSERT_EQ(SearchEstimateAcBits(matrix, quantiser), EstimateAcBits(matrix, quantiser)) << trial;
    }
    ReleaseSearchEstimate();
    EXPECT_EQ(TrackedBlocks(), 0);
    planes[kLuma][9] = -4096;  // beyond the lists: the search falls back on EstimateAcBits
    EXPECT_EQ(PrepareSearchEstimate(), -1);
}

// Two jobs in one process: an easy one goes through the finer estimate
// quantisers and leaves IFixedQstep as the last estimate quantiser; a hard job
// after it steps over its unchanged matrices and ends elsewhere than in a
// fresh process.
TEST_F(ThresholdSearch, SecondJobDependsOnTheFirstJobsEstimateQuantiser) {
    UseOneMacroblock(500);
    const int32_t noBudget = 40 + 1392;

    auto hardJob = [&]() {
        std::memset(tableStorage.data(), 0, tableStorage.size() * sizeof(double));
        UseStepAtPositionOne(12.0);
        std::memset(matrix, 0, sizeof(matrix));
        SearchThreshold(*table, matrix, minWeight, dcBits, noBudget);
    };
    hardJob();
    const float freshThreshold = gThreshold.threshold;
    EXPECT_EQ(matrix[1], 1);
    EXPECT_EQ(gThreshold.lastEstimateQ, 0);

    // The easy job: the finest matrix fits at q 8 and 7.
    std::memset(tableStorage.data(), 0, tableStorage.size() * sizeof(double));
    std::memset(matrix, 0, sizeof(matrix));
    SearchThreshold(*table, matrix, minWeight, dcBits, 1000000);
    EXPECT_EQ(gThreshold.lastEstimateQ, 4);

    hardJob();
    EXPECT_EQ(matrix[1], 127);
    EXPECT_EQ(gThreshold.threshold, 0x1.8ffadcp+7f);
    EXPECT_NE(gThreshold.threshold, freshThreshold);
}

}  // namespace
