// Pre-analysis and the distortion-threshold search on small known inputs, where a
// wrong figure would still give a stream that decodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "coding/quantise.h"
#include "coding/tables.h"
#include "control/analysis.h"
#include "control/bit_estimate.h"
#include "control/threshold_search.h"
#include "convert/planes.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "runtime/registry.h"
#include "support/state.h"

namespace {

// The level the estimate gives coefficient x under weight w: t = (16|x| + w/2) / w, then
// (t + (3q + 2) / 4) / 2q with the sign of x, unlimited.
int32_t EstimateLevel(int32_t x, int32_t w, int q) {
    const int32_t t = (16 * std::abs(x) + w / 2) / w;
    const int32_t level = (t + (3 * q + 2) / 4) / (2 * q);
    return x < 0 ? -level : level;
}

// The pre-analysis's bit estimate as defined: every block quantised, scanned and counted on its
// own, and one bit a macroblock.
int32_t ReferenceEstimateAcBits(const CoefficientStore& store, const int32_t* matrix, int q) {
    const int32_t macroblocks = store.columns * store.rows;
    int32_t bits = macroblocks;
    for (int32_t mb = 0; mb < macroblocks; ++mb) {
        for (int b = 0; b < 6; ++b) {
            // The store keeps zig-zag order; positions 1..63 are coded as runs of zero levels
            // ending in a level, and every block ends with the 2-bit end of block.
            const int16_t* scanned = MacroblockCoefficients(store, mb) + 64 * b;
            int run = 0;
            for (int k = 1; k < 64; ++k) {
                const int32_t w = matrix[kZigZagScan[k].column + 8 * kZigZagScan[k].row];
                const int32_t level = EstimateLevel(scanned[k], w, q);
                if (level == 0) {
                    ++run;
                } else {
                    bits += AcCodeLength(run, level);
                    run = 0;
                }
            }
            bits += 2;
        }
    }
    return bits;
}

class Analysis : public ::testing::Test {
protected:
    void SetUp() override { ResetAllState(); }
    // A zeroed coefficient store of a width x height picture, as the analysis fills it.
    void UseCoefficients(int width, int height) {
        tSettings->FrameWidth = width;
        tSettings->FrameHeight = height;
        coefficients.assign(static_cast<size_t>(width / 16) * (height / 16) * kMacroblockValues, 0);
        store = CoefficientStore{coefficients.data(), width / 16, height / 16};
    }
    ThresholdSearch Search(int32_t target) {
        return ThresholdSearch{store, table, minWeight.data(), dcBits, target, matrix, nullptr};
    }
    CoefficientStore store{};
    std::vector<int16_t> coefficients;
    std::vector<int32_t> minWeight = std::vector<int32_t>(64, 1);
    int32_t matrix[64] = {}, dcBits[3] = {30, 32, 34};
    double table[64][128] = {};
};

// Flat pictures code only DC: 3 bits a luma block and 2 a chroma block for a difference of 0;
// a row start differs from 128, 256 or 512. Every AC block estimates at 2 bits (its end), every
// macroblock 1 more: 312 bits for 96 x 64, which scale the default weights (16, 27, 34 and 83 at
// positions 1, 5, 7 and 63) by 312 over what is left after 1552 header and 384 DC bits, within 1
// and 255. Columns of 0 and 255 have AC coefficients of 184, 325 and 924 at positions 1, 5 and 7,
// which raise the least weights to (8|x| + 2047) / 2047. The lowest of weights 1, 8 and 9 gives the
// DC precision: 0 from 8 up, 1 from 4 up, else 2.
TEST_F(Analysis, FlatPicturesScaleTheDefaultMatrix) {
    struct Case {
        int width, height, luma, stripes, target, dc[3], weights[4], precision;
    };
    const Case cases[] = {
        {96, 64, 128, 0, 0, {384, 384, 384}, {255, 255, 255, 255}, 0},
        {96, 64, 128, 0, 1552 + 384 + 4 * 312, {384, 384, 384}, {4, 7, 9, 21}, 1},
        {16, 16, 125, 0, 160000, {4 + 9 + 4, 6 + 9 + 4, 7 + 9 + 4}, {1, 1, 1, 1}, 2},  // DC 1000
        {16, 16, 0, 255, 160000, {12 + 4, 3 + 9 + 4, 4 + 9 + 4}, {1, 2, 4, 1}, 2}};    // DC 1020
    for (const Case& c : cases) {
        std::vector<uint8_t> y(c.width * c.height, c.luma), cb(c.width * c.height / 2, 128), cr(cb);
        for (size_t i = 1; i < y.size(); i += 2) y[i] = static_cast<uint8_t>(y[i] + c.stripes);
        *tPlanes = PicturePlanes{y.data(), cb.data(), cr.data(), nullptr, nullptr, nullptr};
        UseCoefficients(c.width, c.height);
        ASSERT_EQ(AnalysePicture(c.target, &store), 0);
        EXPECT_EQ(std::vector<int32_t>(tAnalysis->dcBits, tAnalysis->dcBits + 3),
                  std::vector<int32_t>(c.dc, c.dc + 3));
        const int32_t* w = tIntraMatrix->weights;
        EXPECT_EQ(std::vector<int32_t>({w[1], w[5], w[7], w[63]}),
                  std::vector<int32_t>(c.weights, c.weights + 4));
        EXPECT_EQ(tSettings->IntraDCPrecision, c.precision);
        EXPECT_EQ(TrackedBlocks(), 0);
    }
}

// The extended rule's statistics come from magnitude counts in four parts (luma's upper and
// lower macroblock rows apart) when they can be allocated, else block by block: the matrix, the
// DC bits and the precision are the same either way, for pictures whose luma rows split evenly
// and not.
TEST_F(Analysis, ExtendedRuleIsTheSameWithoutItsCounts) {
    tSwitches->extendedAnalysis = 1;
    std::mt19937 r(3);
    for (const int height : {48, 64}) {
        const int width = 80;
        std::vector<uint8_t> y(width * height), cb(width * height / 4), cr(cb.size());
        for (std::vector<uint8_t>* plane : {&y, &cb, &cr}) {
            for (uint8_t& v : *plane) v = static_cast<uint8_t>(r() % 4 ? 100 + r() % 40 : r());
        }
        *tPlanes = PicturePlanes{y.data(), cb.data(), cr.data(), nullptr, nullptr, nullptr};
        for (const int32_t target : {30000, 90000}) {
            std::vector<int32_t> results[2];
            for (int counted = 1; counted >= 0; --counted) {
                UseCoefficients(width, height);
                // The counts are the analysis's first blocks.
                gRegistryFaults.failAllocation = counted ? 0 : 1;
                ASSERT_EQ(AnalysePicture(target, &store), 0);
                gRegistryFaults.failAllocation = 0;
                results[counted].assign(tIntraMatrix->weights, tIntraMatrix->weights + 64);
                results[counted].insert(results[counted].end(), tAnalysis->dcBits,
                                        tAnalysis->dcBits + 3);
                results[counted].push_back(tSettings->IntraDCPrecision);
                ResetAllState();
                tSwitches->extendedAnalysis = 1;
                *tPlanes = PicturePlanes{y.data(), cb.data(), cr.data(), nullptr, nullptr, nullptr};
            }
            EXPECT_EQ(results[0], results[1]) << height << " " << target;
        }
    }
}

// The search's estimate follows a search's matrices: walks of rising thresholds that each raise
// many weights a little, walks that start lower again, and ever finer quantisers; then matrices
// of any kind (fine, coarse, a few weights changed as a search stage changes them) at every
// estimate quantiser. For stores of every kind, with its lists made from the store or from the
// components' magnitude counts, each figure is the plain estimate's, and the plain estimate (which
// quantises with reciprocals and skips blocks too small to code anything) the definition's.
struct Walks {
    const char* name;
    int zeros;    // of 8 coefficients, how many are 0
    int largest;  // the other magnitudes lie in 1 .. largest, a few at 2047 or 2048
    bool counted;
};

void PrintTo(const Walks& w, std::ostream* os) { *os << w.name; }

class SearchEstimateWalks : public Analysis, public ::testing::WithParamInterface<Walks> {};

// The counts by magnitude and raster position of every block's AC coefficients.
std::vector<MagnitudeCounts> CountMagnitudes(const CoefficientStore& store) {
    std::vector<MagnitudeCounts> counts(1);
    std::memset(counts[0], 0, sizeof counts[0]);
    for (int64_t b = 0; b < int64_t{store.columns} * store.rows * 6; ++b) {
        for (int k = 1; k < 64; ++k) {
            const int16_t x = store.data[64 * b + k];
            if (x != 0) ++counts[0][std::abs(x)][kZigZagScan[k].column + 8 * kZigZagScan[k].row];
        }
    }
    return counts;
}

TEST_P(SearchEstimateWalks, EveryFigureIsThePlainEstimate) {
    const Walks& walks = GetParam();
    UseCoefficients(64, 48);
    std::mt19937 r(11);
    for (int16_t& x : coefficients) {
        const int32_t m =
            static_cast<int32_t>(r() % 50 == 0 ? 2047 + r() % 2 : 1 + r() % walks.largest);
        x = static_cast<int16_t>(static_cast<int>(r() % 8) < walks.zeros ? 0 : r() % 2 ? m : -m);
    }
    const std::vector<MagnitudeCounts> counts = CountMagnitudes(store);
    ASSERT_EQ(PrepareSearchEstimate(store, walks.counted ? &counts[0] : nullptr), 0);
    // Each position's weight rises with the threshold at its own pace from its least weight.
    int32_t least[64], pace[64];
    for (int p = 0; p < 64; ++p) {
        least[p] = 1 + static_cast<int32_t>(r() % 9);
        pace[p] = 1 + static_cast<int32_t>(r() % 40);
    }
    int figures = 0;
    for (int q = 8; q >= 1; q -= 3) {
        for (const int start : {0, 40, 10, 25, 24}) {
            for (int t = start; t < start + 60; t += 3 + start % 5) {
                for (int p = 0; p < 64; ++p) matrix[p] = std::min(127, least[p] + t * pace[p] / 16);
                const int32_t estimate = EstimateAcBits(store, matrix, q);
                ASSERT_EQ(SearchEstimateAcBits(store, matrix, q), estimate) << q << " " << t;
                if (++figures % 16 == 0) {
                    ASSERT_EQ(estimate, ReferenceEstimateAcBits(store, matrix, q)) << q << " " << t;
                }
            }
        }
    }
    for (int trial = 0, q = 8; trial < 200; ++trial) {
        if (trial % 4 == 0) {
            for (int32_t& w : matrix)
                w = 1 + static_cast<int32_t>(r() % (trial % 3 == 0 ? 4 : 127));
        } else {
            for (int n = 1 + r() % 10; n > 0; --n)
                matrix[1 + r() % 63] = 1 + static_cast<int32_t>(r() % 255);
        }
        if (trial % 10 == 0) q = 1 + static_cast<int>(r() % 8);
        const int32_t estimate = EstimateAcBits(store, matrix, q);
        ASSERT_EQ(SearchEstimateAcBits(store, matrix, q), estimate) << trial;
        ASSERT_EQ(estimate, ReferenceEstimateAcBits(store, matrix, q)) << trial;
    }
    ReleaseSearchEstimate();
    EXPECT_EQ(TrackedBlocks(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Stores, SearchEstimateWalks,
    ::testing::Values(Walks{"SparseSmall", 7, 12, false}, Walks{"SparseSmallCounted", 7, 12, true},
                      Walks{"DenseLarge", 1, 900, false}, Walks{"DenseLargeCounted", 1, 900, true},
                      Walks{"HalfMixed", 4, 200, true}, Walks{"AllZero", 8, 1, true}),
    [](const ::testing::TestParamInfo<Walks>& info) { return std::string(info.param.name); });

// Counting the magnitudes at each position and adding their squared errors once, up to the
// largest magnitude seen, gives the sums that adding each block's errors gives.
TEST_F(Analysis, CountedErrorsAreTheBlockByBlockSums) {
    std::mt19937 r(9);
    const auto counted = std::make_unique<ErrorSums[]>(1);
    const auto byBlock = std::make_unique<ErrorSums[]>(1);
    const auto counts = std::make_unique<MagnitudeCounts[]>(1);
    std::vector<int32_t> ignored(64, 1);
    int32_t largest = 0;
    for (int n = 0; n < 3000; ++n) {
        int32_t block[64] = {};
        for (int p = 1; p < 64; ++p) {
            if (r() % 3 == 0) block[p] = static_cast<int32_t>(r() % 4095) - 2047;
            ++counts[0][std::abs(block[p])][p];
            largest = std::max(largest, std::abs(block[p]));
        }
        ErrorStatistics(block, &byBlock[0], ignored.data());
    }
    AddCountedErrors(counts[0], largest, &counted[0]);
    for (int p = 0; p < 64; ++p) {
        for (int w = 0; w < 128; ++w)
            ASSERT_EQ(counted[0][p][w], byBlock[0][p][w]) << p << " " << w;
    }
}

// One macroblock whose only AC coefficient is 500 at position 1; its weight is 1 while the
// threshold stays below 12, every other weight 127. A stage stops at the first matrix that fits
// the budget (after 40 + 1392 header bits), or when a matrix estimates as the one before.
TEST_F(Analysis, StagesStopAtAFittingOrUnchangedMatrix) {
    UseCoefficients(16, 16);
    coefficients[1] = 500;  // luma block 0, position 1
    for (int w = 2; w <= 127; ++w) table[1][w] = 12.0;
    std::vector<int32_t> fine(64, 127), coarse(64, 127);
    fine[1] = 1;
    // Level 500 is a 24-bit escape; six ends of block and one bit for the macroblock.
    ASSERT_EQ(EstimateAcBits(store, fine.data(), 8), 24 + 6 * 2 + 1);
    const int32_t fineBudget = 37 + dcBits[2] + 1432;
    const int32_t coarseBudget = EstimateAcBits(store, coarse.data(), 8) + dcBits[0] + 1432;
    // Budget, last estimate quantiser, threshold: once the last estimate was at IFixedQstep an
    // unchanged matrix is not estimated again, and a stage without a fitting matrix climbs to 200.
    const int32_t cases[][3] = {
        {1432, 0, 5}, {coarseBudget, 4, 15}, {fineBudget, 4, 0}, {coarseBudget - 1, 4, 195}};
    for (const auto& c : cases) {
        tCarriedSearch->lastEstimateQ = c[1];
        TryThreshold(Search(c[0]), 0.0f, 5.0f, 8, 0);
        EXPECT_EQ(tThreshold->threshold, c[2]) << c[0];
    }
    // Every stage steps in single precision: a double sum would end at 199.99 (0x1.8ffae2p+7).
    SearchThreshold(Search(1432));
    EXPECT_EQ(tThreshold->threshold, 0x1.8ffadcp+7f);
    // With a budget to spare the finest matrix fits at q 8 and 7, which leaves IFixedQstep as the
    // last estimate quantiser for the jobs after; at q 6 the stage climbs to the change at 12.
    tCarriedSearch->lastEstimateQ = 0;
    SearchThreshold(Search(1000000));
    EXPECT_EQ(tCarriedSearch->lastEstimateQ, 4);
    EXPECT_EQ(tThreshold->threshold, 12.0f - 0.4f - 0.1f);
}

}  // namespace
