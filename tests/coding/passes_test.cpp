// Quantiser rules of the coding passes, and the passes run over real pictures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "api/registry.h"
#include "coding/bit_writer.h"
#include "coding/passes.h"
#include "control/analysis.h"
#include "control/encoder.h"
#include "control/rate_control.h"
#include "params/settings.h"
#include "support/files.h"
#include "support/state.h"

namespace {

class PassRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        gSettings.XMBlock = 45;
        gSettings.YMBlock = 30;
        gSettings.MBCount = 1350;
        gSettings.Target = 1000000;
        gSettings.FrameRate = 30;
        difcnt_.assign(1350, 0);
        alccnt_.assign(1350, 0);
        gMacroblockBits.difcnt = difcnt_.data();
        gMacroblockBits.alccnt = alccnt_.data();
    }
    void TearDown() override { ResetAllState(); }
    std::vector<int32_t> difcnt_, alccnt_;
};

TEST_F(PassRulesTest, RoundQuantiserRoundsHalvesUpAndLimits) {
    struct Case { float base; int q; };
    const Case cases[] = {{0.4f, 1}, {17.5f, 18}, {17.49f, 17}, {40.7f, 31}, {30.5f, 31}, {30.49f, 30},
                          {-5.0f, 1}, {1.0e30f, 31}, {-1.0e30f, 1}};
    for (const Case& c : cases) EXPECT_EQ(RoundQuantiser(c.base), c.q) << c.base;
}

TEST_F(PassRulesTest, Pass1FollowsTheVirtualBuffer) {
    RateControlState rc{16666, 1000000};
    const int32_t perMb = 1000000 / 1350;  // 740
    EXPECT_FLOAT_EQ(Pass1Quantiser(&rc, 0, perMb, 0, 0), 31.0f);
    // Macroblock 10 having spent exactly its share: the buffer is where it started.
    EXPECT_FLOAT_EQ(Pass1Quantiser(&rc, 7400, perMb, 10, 0), 31.0f);
    // Row 1, column 2 (mb 47), 20,000 bits so far: (16666 - 34780 + 20000) x 31 / 16666.
    EXPECT_EQ(Pass1Quantiser(&rc, 20000, perMb, 2, 1), static_cast<float>(1886.0 * 31.0 / 16666.0));
    // r follows the current Target, not the one that rate control started with.
    gSettings.Target = 500000;
    EXPECT_FLOAT_EQ(Pass1Quantiser(&rc, 0, perMb, 0, 0), static_cast<float>(16666.0 * 31.0 / 8333.0));
}

TEST_F(PassRulesTest, FinalPassQuantiserFromCostAndShare) {
    gSettings.IFixedQstep = 6;
    difcnt_[0] = 1000;
    alccnt_[0] = 500;
    // Nothing used or allocated yet: 6000 / 500.
    EXPECT_EQ(FinalPassQuantiser(0, 0, 0, 0), 12.0f);
    // Row 29, column 40: 5 macroblocks left, a surplus of 1000 spread over them.
    difcnt_[29 * 45 + 40] = 300;
    alccnt_[29 * 45 + 40] = 100;
    EXPECT_EQ(FinalPassQuantiser(5000, 6000, 40, 29), static_cast<float>(1800.0 / (1000.0 / 5 + 100)));
    // More than 100 left: n is 100. A deficit of 70,000: -700 + 500 < 0, denominator 10.
    EXPECT_EQ(FinalPassQuantiser(80000, 10000, 0, 0), 600.0f);
    // Deficit of 250 over 100 macroblocks is a floating-point 2.5, not 2.
    EXPECT_EQ(FinalPassQuantiser(250, 0, 0, 0), static_cast<float>(6000.0 / 497.5));
}

TEST_F(PassRulesTest, FinalQuantiserMovesOneStepPerMacroblock) {
    int prevQ = StepQuantiser(0, 5.9f, 1);
    EXPECT_EQ(prevQ, 5);
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) seen.push_back(prevQ = StepQuantiser(prevQ, 12.0f, 0));
    EXPECT_EQ(seen, (std::vector<int>{6, 7, 8, 9}));
    EXPECT_EQ(StepQuantiser(9, 3.2f, 0), 8);
    EXPECT_EQ(StepQuantiser(9, 9.99f, 0), 9);
    // Clamped to 1..31 as it goes; far-off bases behave like any large base.
    EXPECT_EQ(StepQuantiser(0, -4.0f, 1), 1);
    EXPECT_EQ(StepQuantiser(0, 90.0f, 1), 31);
    EXPECT_EQ(StepQuantiser(31, 1.0e20f, 0), 31);
    EXPECT_EQ(StepQuantiser(1, -1.0e20f, 0), 1);
    EXPECT_EQ(StepQuantiser(30, 1.0e20f, 0), 31);
}

}  // namespace

// The passes over a real picture, run one by one as the encoder driver runs them.
namespace {

class PassRunTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAllState(); }
    void TearDown() override {
        TrackedClose(stream_);
        gBitWriter.out = nullptr;
        ResetAllState();
    }

    // Settings, planes, pre-analysis and working storage of a 352 x 240 picture.
    void Prepare(const std::vector<uint8_t>& y, const std::vector<uint8_t>& chroma, int32_t target) {
        y_ = y;
        chroma_ = chroma;
        path_ = dir_ / "s.ts";
        PlanesJob job{352, 240, y_.data(), chroma_.data(), chroma_.data(), target, 0, 0, path_.c_str()};
        ASSERT_EQ(PreparePlanesJob(job), 0);
        ASSERT_EQ(DeriveSettings(), 0);
        ASSERT_EQ(DecimateChroma(), 0);
        ASSERT_EQ(AnalysePicture(target), 0);
        const size_t n = static_cast<size_t>(gSettings.MBCount);
        q_.assign(n, -1);
        types_.assign(n, -1);
        difcnt_.assign(n, -1);
        alccnt_.assign(n, -1);
        rescnt_.assign(n, -1);
        gMacroblockBits = MacroblockBits{difcnt_.data(), alccnt_.data(), rescnt_.data()};
        coefY_.assign(352 * 240, 0);
        coefC_.assign(2 * 176 * 120, 0);
        planes_ = CoefficientPlanes{{352, 240, coefY_.data()}, {176, 120, coefC_.data()},
                                    {176, 120, coefC_.data() + 176 * 120}};
        InitRateControl(&rc_);
    }

    int32_t Limit(int mb) const { return 4608 + (mb % gSettings.XMBlock == 0 ? 38 : 0); }

    TempDir dir_;
    std::string path_;
    FILE* stream_ = nullptr;
    std::vector<uint8_t> y_, chroma_;
    std::vector<int32_t> q_, types_, difcnt_, alccnt_, rescnt_;
    std::vector<int16_t> coefY_, coefC_;
    CoefficientPlanes planes_{};
    RateControlState rc_{};
};

std::vector<uint8_t> Texture(size_t count, uint32_t seed) {
    std::vector<uint8_t> v(count);
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        v[i] = static_cast<uint8_t>((i % 352) / 2 + (seed >> 27) * 3);
    }
    return v;
}

TEST_F(PassRunTest, PassesMeasureThenFinalPassSpendsTheShare) {
    Prepare(Texture(352 * 240, 1), std::vector<uint8_t>(176 * 240, 128), 600000);
    const int blocks = TrackedBlocks();

    ASSERT_EQ(CodingPass1(q_.data(), types_.data(), &rc_, &planes_), 0);
    int64_t sum = 0;
    for (int32_t q : q_) sum += q;
    EXPECT_EQ(gSettings.IFixedQstep, sum / gSettings.MBCount);
    EXPECT_EQ(TrackedBlocks(), blocks);  // the pass's buffers are returned

    ASSERT_EQ(CodingPass2(q_.data(), types_.data(), &rc_, &planes_), 0);
    for (int mb = 0; mb < gSettings.MBCount; ++mb) {
        ASSERT_EQ(q_[mb], gSettings.IFixedQstep);
        ASSERT_EQ(types_[mb], 1);
        ASSERT_GT(difcnt_[mb], 0);
    }

    AllocateBits(0);
    ResetBitWriter();
    stream_ = TrackedOpen(path_.c_str(), "wb");
    ASSERT_NE(stream_, nullptr);
    gBitWriter.out = stream_;
    const int32_t headerBits = BitsWritten();
    ASSERT_EQ(FinalCodingPass(q_.data(), types_.data(), &rc_, &planes_), 0);
    EXPECT_EQ(BitsWritten() % 8, 0);  // the last slice ends aligned
    int64_t written = 0;
    for (int mb = 0; mb < gSettings.MBCount; ++mb) {
        written += rescnt_[mb];
        ASSERT_TRUE(rescnt_[mb] <= Limit(mb) || q_[mb] == 31) << mb;
        const bool sliceStart = mb % gSettings.XMBlock == 0;
        ASSERT_EQ(types_[mb], !sliceStart && q_[mb] != q_[mb - 1] ? 2 : 1) << mb;
        if (mb > 0) {
            ASSERT_LE(std::abs(q_[mb] - q_[mb - 1]), 1) << mb;  // nothing here needed re-coding
        }
    }
    // Only the slice padding counts in no macroblock: under a byte per row.
    const int64_t padding = BitsWritten() - headerBits - written;
    EXPECT_GE(padding, 0);
    EXPECT_LT(padding, 8 * gSettings.YMBlock);
    EXPECT_NEAR(static_cast<double>(BitsWritten()), 600000.0, 600000.0 * 0.03);
}

TEST_F(PassRunTest, CostlyMacroblocksAreCodedCoarserUntilTheyFit) {
    // Noise in every macroblock of row 3 with fine weights: pass 1 and the final
    // pass raise q above the buffer's choice; pass 2 never re-codes.
    std::vector<uint8_t> y(352 * 240, 128);
    uint32_t seed = 5;
    for (int r = 48; r < 64; ++r) {
        for (int c = 0; c < 352; ++c) {
            seed = seed * 1103515245u + 12345u;
            y[r * 352 + c] = (seed >> 31) != 0 ? 250 : 5;
        }
    }
    Prepare(y, std::vector<uint8_t>(176 * 240, 128), 1800000);
    ASSERT_EQ(CodingPass1(q_.data(), types_.data(), &rc_, &planes_), 0);
    for (int mb = 3 * 22; mb < 4 * 22; ++mb) EXPECT_GT(q_[mb], q_[2 * 22]) << mb;
    ASSERT_EQ(CodingPass2(q_.data(), types_.data(), &rc_, &planes_), 0);
    AllocateBits(0);
    ResetBitWriter();
    ASSERT_EQ(FinalCodingPass(q_.data(), types_.data(), &rc_, &planes_), 0);  // no stream: counts only
    for (int mb = 3 * 22; mb < 4 * 22; ++mb) {
        EXPECT_TRUE(rescnt_[mb] <= Limit(mb) || q_[mb] == 31) << mb;
        EXPECT_GT(rescnt_[mb], 3000) << mb;
    }
}

}  // namespace
