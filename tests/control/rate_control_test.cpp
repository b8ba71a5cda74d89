// Rate control at its edges: the virtual buffer start, the share-out of the target and the
// quantiser rules of the passes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "control/rate_control.h"
#include "params/settings.h"
#include "support/state.h"

namespace {

// Target, frame rate and the buffer start: half a picture's worth of target, nothing under two
// pictures' worth or from BUFFER on (only from memory), below empty for a negative target, and
// wrapped round in 32 bits for a far negative one. Then the default 45 x 30 macroblocks measured
// at `fill` bits each but macroblock 7 at `one`: what 30 slice rows of 40 bits and 1392 bits of
// picture headers leave is shared in proportion, capped at MaxMBBits without redistribution,
// negative below the headers, indefinite (INT32_MIN) when nothing was measured (a division by
// zero), all of it when one macroblock alone was, and the cap when the budget of the lowest
// target wraps round to the highest.
TEST(RateControl, BufferStartAndShareOutAtTheEdges) {
    const int32_t cases[][7] = {// target, rate, buffer, fill, one, share of 7, share of 8
                                {1800000, 25, 36000, 1000, 200000, 4608, 1160},
                                {1000, 30, 16, 1000, 1000, -1, -1},
                                {0, 30, 0, 100000, 100000, -1, -1},
                                {59, 30, 0, 0, 0, INT32_MIN, INT32_MIN},
                                {-50000, 30, -833, 1000, 1000, -38, -38},
                                {-5, 30, 0, 1000, 2000, -3, -1},
                                {-2000000000, 30, -33931952, 1000, 2000, -2960773, -1480386},
                                {INT32_MIN, 25, -1384349, 1000, 2000, 4608, 4608},
                                {2400000, 25, 0, 1000, 1000, 1775, 1775},
                                {5000, 30, 83, 0, 1, 5000 - 2592, 0}};
    std::vector<int32_t> difcnt, alccnt(45 * 30);
    for (const auto& c : cases) {
        ResetAllState();
        ASSERT_EQ(DeriveSettings(), 0);
        gSettings.Target = c[0];
        gSettings.FrameRate = c[1];
        RateControlState st{-1, -1};
        InitRateControl(&st);
        EXPECT_EQ(st.bufferFullness, c[2]) << c[0];
        EXPECT_EQ(st.targetBits, c[0]);
        difcnt.assign(45 * 30, c[3]);
        difcnt[7] = c[4];
        gMacroblockBits = MacroblockBits{difcnt.data(), alccnt.data(), nullptr};
        AllocateBits(0);
        EXPECT_EQ(gSettings.Target, c[0]);
        EXPECT_EQ(alccnt[7], c[5]) << c[0];
        EXPECT_EQ(alccnt[8], c[6]) << c[0];
    }
}

// The final pass's quantiser rules where the end-to-end streams do not reach: a
// macroblock's cost over its share plus the surplus spread over fewer than 100
// macroblocks (by 10 when far over), one step per macroblock toward the result,
// and halves rounded up within 1..31, from any base.
TEST(RateControl, PassQuantisersFollowBufferShareAndStep) {
    ResetAllState();  // 45 x 30 macroblocks at 30 pictures a second, fixed quantiser 4
    gSettings.Target = 1000000;
    std::vector<int32_t> difcnt(1350, 1000), alccnt(1350, 500);
    gMacroblockBits = MacroblockBits{difcnt.data(), alccnt.data(), nullptr};
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
