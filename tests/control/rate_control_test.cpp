// Rate control at its edges: the virtual buffer start and the share-out of the target.
#include <gtest/gtest.h>

#include <vector>

#include "control/rate_control.h"
#include "params/settings.h"
#include "support/state.h"

namespace {

// Target, frame rate and the buffer start: half a picture's worth of target, nothing under two
// pictures' worth or from BUFFER on (only from memory), below empty for a negative target. Then
// the default 45 x 30 macroblocks measured at `fill` bits each but macroblock 7 at `one`: what 30
// slice rows of 40 bits and 1392 bits of picture headers leave is shared in proportion, capped
// at MaxMBBits without redistribution, negative below the headers, 0 when nothing was measured,
// and all of it when one macroblock alone was.
TEST(RateControl, BufferStartAndShareOutAtTheEdges) {
    const int32_t cases[][7] = {// target, rate, buffer, fill, one, share of 7, share of 8
                                {1000000, 30, 16666, 1000, 1000, 738, 738},
                                {1000000, 25, 20000, 1000, 2000, 1476, 738},
                                {1800000, 25, 36000, 1000, 200000, 4608, 1160},
                                {1000, 30, 16, 1000, 1000, -1, -1},
                                {0, 30, 0, 100000, 100000, -1, -1},
                                {59, 30, 0, 0, 0, 0, 0},
                                {-50000, 30, -833, 1000, 1000, -38, -38},
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

}  // namespace
