// Rate control: the virtual buffer start, the share-out and the target reductions.
#include <gtest/gtest.h>

#include <vector>

#include "control/rate_control.h"
#include "params/settings.h"
#include "support/state.h"

namespace {

class RateControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        gSettings.XMBlock = 45;
        gSettings.YMBlock = 30;
        gSettings.MBCount = 45 * 30;
        gSettings.MaxMBBits = 4608;
        difcnt_.assign(gSettings.MBCount, 1000);
        alccnt_.assign(gSettings.MBCount, -7);
        gMacroblockBits.difcnt = difcnt_.data();
        gMacroblockBits.alccnt = alccnt_.data();
    }
    void TearDown() override { ResetAllState(); }
    std::vector<int32_t> difcnt_, alccnt_;
};

TEST_F(RateControlTest, BufferStartsAtHalfAPictureOfTarget) {
    struct Case { int32_t target, rate, fullness; };
    const Case cases[] = {{1000000, 30, 16666}, {1000000, 25, 20000}, {1800000, 30, 30000}, {160000, 25, 3200},
                          {59, 30, 0}};
    for (const Case& c : cases) {
        gSettings.Target = c.target;
        gSettings.FrameRate = c.rate;
        RateControlState st{-1, -1};
        InitRateControl(&st);
        EXPECT_EQ(st.bufferFullness, c.fullness) << c.target << "/" << c.rate;
        EXPECT_EQ(st.targetBits, c.target);
    }
}

TEST_F(RateControlTest, RetriesCompoundTheirReductions) {
    gSettings.Target = 1800000;
    const int32_t expected[] = {1800000, 1782000, 1746360, 1693969, 1626210};
    for (int attempt = 0; attempt < 5; ++attempt) {
        AllocateBits(attempt);
        EXPECT_EQ(gSettings.Target, expected[attempt]) << attempt;
    }
}

TEST_F(RateControlTest, ShareIsProportionalAfterTheHeaderReserve) {
    gSettings.Target = 1000000;
    AllocateBits(0);
    // 997,408 bits over 1,350,000 measured: each macroblock of 1000 gets 738.
    for (int32_t a : alccnt_) ASSERT_EQ(a, 738);
    EXPECT_EQ(gSettings.Target, 1000000);

    difcnt_[0] = 2000;
    difcnt_[1] = 0;
    AllocateBits(0);
    EXPECT_EQ(alccnt_[0], 1477);  // 2000 x 997408 / 1350000 = 1477.6
    EXPECT_EQ(alccnt_[1], 0);
}

TEST_F(RateControlTest, CapAtMaxMBBitsWithoutRedistribution) {
    gSettings.Target = 1800000;
    difcnt_[7] = 200000;
    AllocateBits(0);
    EXPECT_EQ(alccnt_[7], 4608);
    const double weight = (1800000.0 - 1200 - 1392) / (1349 * 1000 + 200000);
    EXPECT_EQ(alccnt_[8], static_cast<int32_t>(1000 * weight));
}

TEST_F(RateControlTest, BudgetBelowTheReserveGivesNegativeAllocations) {
    gSettings.Target = 1000;  // 1000 - 1200 - 1392 = -1592
    AllocateBits(0);
    for (int32_t a : alccnt_) ASSERT_EQ(a, static_cast<int32_t>(1000 * (-1592.0 / 1350000)));
    gSettings.Target = 0;
    difcnt_.assign(difcnt_.size(), 100000);
    AllocateBits(0);
    EXPECT_EQ(alccnt_[0], static_cast<int32_t>(100000 * (-2592.0 / 135000000)));
}

}  // namespace
