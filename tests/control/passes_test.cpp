// The three coding passes run one by one, as the encoder driver runs them, on a
// 352 x 240 picture whose fourth macroblock row is noise.
#include <gtest/gtest.h>

#include <vector>

#include "api/registry.h"
#include "coding/bit_writer.h"
#include "control/analysis.h"
#include "control/encoder.h"
#include "control/passes.h"
#include "control/rate_control.h"
#include "params/settings.h"
#include "support/planes_job.h"
#include "support/state.h"

namespace {

TEST(Passes, MeasureThenCodeEveryMacroblockWithinItsLimit) {
    ResetAllState();
    std::vector<uint8_t> y(352 * 240, 128), chroma(176 * 240, 128);
    uint32_t seed = 5;
    for (int i = 48 * 352; i < 64 * 352; ++i)
        y[i] = ((seed = seed * 1103515245u + 12345u) >> 31) != 0 ? 250 : 5;
    ASSERT_EQ(PreparePlanesJob(
                  PlanesJob{352, 240, y.data(), chroma.data(), chroma.data(), 1800000, 0, 0, ""}),
              0);
    ASSERT_EQ(DeriveSettings(), 0);
    ASSERT_EQ(DecimateChroma(), 0);
    ASSERT_EQ(AnalysePicture(1800000), 0);
    const int n = gSettings.MBCount, row = gSettings.XMBlock;
    std::vector<int32_t> q(n), types(n), difcnt(n), alccnt(n), rescnt(n);
    std::vector<int16_t> coefY(352 * 240), coefC(2 * 176 * 120);
    CoefficientPlanes planes{
        {352, 240, coefY.data()}, {176, 120, coefC.data()}, {176, 120, coefC.data() + 176 * 120}};
    gMacroblockBits = MacroblockBits{difcnt.data(), alccnt.data(), rescnt.data()};
    RateControlState rc{};
    InitRateControl(&rc);

    // Pass 1 raises q where the noise is and leaves the average as the fixed quantiser of pass 2.
    ASSERT_EQ(CodingPass1(q.data(), types.data(), &rc, &planes), 0);
    int64_t sum = 0;
    for (int32_t v : q) sum += v;
    EXPECT_EQ(gSettings.IFixedQstep, sum / n);
    for (int mb = 3 * row; mb < 4 * row; ++mb) EXPECT_GT(q[mb], q[2 * row]) << mb;
    ASSERT_EQ(CodingPass2(q.data(), types.data(), &planes), 0);
    for (int mb = 0; mb < n; ++mb) ASSERT_EQ(q[mb], gSettings.IFixedQstep) << mb;

    // The final pass (bits counted, no stream) codes a macroblock more coarsely until it keeps
    // to 4608 bits, 38 more with its slice header, or reaches q 31.
    AllocateBits(0);
    ResetBitWriter();
    ASSERT_EQ(FinalCodingPass(q.data(), types.data(), &planes), 0);
    for (int mb = 0; mb < n; ++mb) {
        EXPECT_TRUE(rescnt[mb] <= 4608 + (mb % row == 0 ? 38 : 0) || q[mb] == 31)
            << mb << ": " << rescnt[mb];
    }
    for (int mb = 3 * row; mb < 4 * row; ++mb) EXPECT_GT(rescnt[mb], 3000) << mb;
    FreeAllTracked();
}

}  // namespace
