// Rate control at its edges: the virtual buffer start, the share-out of the target and the
// quantiser rules of the passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "control/bit_budget.h"
#include "control/rate_control.h"
#include "params/settings.h"
#include "support/state.h"

namespace {

// The virtual buffer starts half a picture's worth of target full (nothing under two pictures'
// worth, below empty for a negative target) and empty from BUFFER on; a target far below zero
// leaves the int32 range and wraps (the sanitizer build checks that it is defined).
void ExpectBufferStarts() {
    ResetAllState();
    const int32_t buffer = tSettings->BUFFER;
    const int32_t targets[] = {
        1800000, 1000,           59,          0,           -5,       -50000, buffer - 1,
        buffer,  2 * buffer - 1, -buffer + 1, -2000000000, INT32_MIN};
    for (int32_t rate : {25, 30}) {
        for (int32_t target : targets) {
            tSettings->Target = target;
            tSettings->FrameRate = rate;
            RateControlState st{-1, -1};
            InitRateControl(&st);
            EXPECT_EQ(st.targetBits, target);
            if (target > -buffer && target < buffer) {
                EXPECT_EQ(st.bufferFullness, target / rate / 2) << target << " " << rate;
            } else if (target >= buffer) {
                EXPECT_EQ(st.bufferFullness, 0) << target;
            }
        }
    }
}

// What the headers leave of the target is shared out in proportion to the bits measured: equal
// measures get equal shares, a larger one a share no smaller (no larger below zero), no share
// is above MaxMBBits, and shares the cap leaves alone add up to the budget within a bit a
// macroblock. Nothing measured makes every share indefinite (INT32_MIN, a division by zero);
// one macroblock measured alone takes the whole budget up to the cap; the lowest target's
// budget wraps round to the highest, so every share is the cap.
struct ShareCase {
    int32_t target, fill, one;  // macroblock 7 measured at `one` bits, the others at `fill`
};

void ExpectSharedOut(const ShareCase& c) {
    ResetAllState();
    ASSERT_EQ(DeriveSettings(), 0);
    const EncoderSettings& s = *tSettings;
    tSettings->Target = c.target;
    std::vector<int32_t> difcnt(s.MBCount, c.fill), alccnt(s.MBCount);
    difcnt[7] = c.one;
    *tMacroblockBits = MacroblockBits{difcnt.data(), alccnt.data(), nullptr};
    AllocateBits(0);
    EXPECT_EQ(s.Target, c.target);
    const int32_t budget = static_cast<int32_t>(static_cast<uint32_t>(c.target) -
                                                static_cast<uint32_t>(HeaderBits(s.YMBlock)));
    const int64_t total = int64_t{c.fill} * (s.MBCount - 1) + c.one;
    if (total == 0) {
        for (int32_t a : alccnt) EXPECT_EQ(a, INT32_MIN) << c.target;
        return;
    }
    if (c.target == INT32_MIN) {
        for (int32_t a : alccnt) EXPECT_EQ(a, s.MaxMBBits);
        return;
    }
    int64_t sum = 0;
    bool capped = false;
    for (int32_t a : alccnt) {
        EXPECT_LE(a, s.MaxMBBits) << c.target;
        sum += a;
        capped = capped || a == s.MaxMBBits;
    }
    EXPECT_EQ(alccnt[8], alccnt[9]) << c.target;
    const int64_t order = (int64_t{c.one} - c.fill) * (budget < 0 ? -1 : 1);
    if (order >= 0) {
        EXPECT_GE(alccnt[7], alccnt[8]) << c.target;
    }
    if (order <= 0) {
        EXPECT_LE(alccnt[7], alccnt[8]) << c.target;
    }
    if (!capped) {
        EXPECT_LT(std::abs(sum - budget), s.MBCount) << c.target;
    }
    if (c.fill == 0) {
        EXPECT_EQ(alccnt[7], std::min(budget, s.MaxMBBits)) << c.target;
    }
}

TEST(RateControl, BufferStartAndShareOutAtTheEdges) {
    ExpectBufferStarts();
    const ShareCase cases[] = {{1800000, 1000, 200000},   {1000, 1000, 1000},
                               {0, 100000, 100000},       {59, 0, 0},
                               {-50000, 1000, 1000},      {-5, 1000, 2000},
                               {-2000000000, 1000, 2000}, {INT32_MIN, 1000, 2000},
                               {2400000, 1000, 1000},     {5000, 0, 1}};
    for (const ShareCase& c : cases) ExpectSharedOut(c);
}

// The final pass's quantiser rules where the end-to-end streams do not reach: a
// macroblock's cost over its share plus the surplus spread over fewer than 100
// macroblocks (by 10 when far over), one step per macroblock toward the result,
// and halves rounded up within 1..31, from any base.
TEST(RateControl, PassQuantisersFollowBufferShareAndStep) {
    ResetAllState();  // 45 x 30 macroblocks at 30 pictures a second, fixed quantiser 4
    tSettings->Target = 1000000;
    std::vector<int32_t> difcnt(1350, 1000), alccnt(1350, 500);
    *tMacroblockBits = MacroblockBits{difcnt.data(), alccnt.data(), nullptr};
    EXPECT_FLOAT_EQ(FinalPassQuantiser(5000, 6000, 40, 29), 5.7142857f);  // 4000 / (500 + 1000 / 5)
    EXPECT_FLOAT_EQ(FinalPassQuantiser(80000, 10000, 0, 0), 400.0f);      // 4000 / 10
    // A base without an int32 truncation converts to INT32_MIN, which the clamps take to 1.
    const std::vector<std::pair<float, int>> rounded = {
        {0.4f, 1},   {17.5f, 18}, {17.49f, 17},  {40.7f, 31},    {2.0e9f, 31},
        {2.2e9f, 1}, {NAN, 1},    {INFINITY, 1}, {-INFINITY, 1}, {-3.0e9f, 1}};
    for (const auto& [base, q] : rounded) EXPECT_EQ(RoundQuantiser(base), q) << base;
    struct Step {
        int32_t prevQ;
        float base;
        int first, q;
    };
    // Out of the int32 range either way the base converts to INT32_MIN, and its difference from
    // the quantiser before wraps to a positive one: a step up.
    const Step steps[] = {{0, 5.9f, 1, 5},    {5, 12.0f, 0, 6},  {9, 3.2f, 0, 8},
                          {9, 9.99f, 0, 9},   {0, -4.0f, 1, 1},  {0, 90.0f, 1, 31},
                          {31, 1e20f, 0, 31}, {1, -1e20f, 0, 2}, {7, NAN, 0, 8},
                          {0, INFINITY, 1, 1}};
    for (const Step& s : steps)
        EXPECT_EQ(StepQuantiser(s.prevQ, s.base, s.first), s.q) << s.prevQ << " " << s.base;
}

}  // namespace
