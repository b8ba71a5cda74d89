// Quantiser rules of the coding passes, and the passes run over real pictures.
#include <gtest/gtest.h>

#include <vector>

#include "coding/passes.h"
#include "control/rate_control.h"
#include "params/settings.h"
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
