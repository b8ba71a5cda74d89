// Forward DCT against the defining formula, the intra quantiser and the
// 16-bit coefficient store.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "coding/intra_matrix.h"
#include "coding/quantise.h"
#include "coding/transform.h"
#include "convert/planes.h"
#include "params/settings.h"
#include "support/state.h"

namespace {

// F(u, v) = 1/4 C(u) C(v) sum f(x, y) cos((2x+1)u pi/16) cos((2y+1)v pi/16).
void DirectDct(const int32_t* block, double* out) {
    const double pi = std::acos(-1.0);
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double sum = 0.0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    int32_t f = block[8 * y + x];
                    f = f < -256 ? -256 : (f > 255 ? 255 : f);
                    sum += f * std::cos((2 * x + 1) * u * pi / 16) * std::cos((2 * y + 1) * v * pi / 16);
                }
            const double cu = u == 0 ? 1.0 / std::sqrt(2.0) : 1.0;
            const double cv = v == 0 ? 1.0 / std::sqrt(2.0) : 1.0;
            out[8 * v + u] = 0.25 * cu * cv * sum;
        }
}

class TransformTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAllState(); }
};

TEST_F(TransformTest, AgreesWithDirectEvaluation) {
    std::mt19937 random(12345);
    std::vector<std::vector<int32_t>> blocks;
    for (int n = 0; n < 400; ++n) {
        std::vector<int32_t> b(64);
        const int kind = n % 4;
        for (int i = 0; i < 64; ++i) {
            if (kind == 0) b[i] = static_cast<int32_t>(random() % 256);
            if (kind == 1) b[i] = static_cast<int32_t>(random() % 2) * 255;             // extremes
            if (kind == 2) b[i] = static_cast<int32_t>(random() % 1200) - 600;         // beyond the clamp
            if (kind == 3) b[i] = ((i / 8 + i % 8 + n) % 2) ? 255 : -256;             // checkerboards
        }
        blocks.push_back(b);
    }
    for (const auto& b : blocks) {
        double fast[64], direct[64];
        ForwardDctUnrounded(b.data(), fast);
        DirectDct(b.data(), direct);
        std::vector<int32_t> in = b;
        int32_t rounded[64];
        ForwardDct(in.data(), rounded);
        for (int i = 0; i < 64; ++i) {
            ASSERT_NEAR(fast[i], direct[i], 1e-12) << i;
            // Away from a tie the rounding is unambiguous.
            const double frac = std::fabs(direct[i] - std::trunc(direct[i]));
            if (std::fabs(frac - 0.5) > 1e-9 && std::fabs(direct[i]) < 2047.0) {
                ASSERT_EQ(rounded[i], static_cast<int32_t>(std::lround(direct[i]))) << i;
            }
        }
        for (int i = 0; i < 64; ++i) ASSERT_TRUE(in[i] >= -256 && in[i] <= 255);  // clamped in place
    }
}

struct TieCase {
    const char* name;
    int32_t dc;        // value of one sample; the others 0
    int32_t position;  // sample index
    int32_t coefficient;
    int32_t expected;
};

class DctTies : public TransformTest, public ::testing::WithParamInterface<TieCase> {};

TEST_P(DctTies, HalvesRoundAwayFromZero) {
    int32_t block[64] = {};
    block[GetParam().position] = GetParam().dc;
    int32_t out[64];
    ForwardDct(block, out);
    EXPECT_EQ(out[GetParam().coefficient], GetParam().expected);
}

// One sample of value a gives DC = a/8 and |F(4,0)| = |F(0,4)| = a/8 and |F(4,4)| = a/8 exactly.
INSTANTIATE_TEST_SUITE_P(
    Ties, DctTies,
    ::testing::Values(TieCase{"DcPositive", 4, 0, 0, 1}, TieCase{"DcNegative", -4, 0, 0, -1},
                      TieCase{"DcTwelve", 12, 0, 0, 2}, TieCase{"DcMinusTwelve", -12, 0, 0, -2},
                      TieCase{"F40", 20, 0, 4, 3}, TieCase{"F04", -20, 0, 32, -3},
                      TieCase{"F44", 36, 0, 36, 5}, TieCase{"F40Sign", 20, 2, 4, -3}),
    [](const ::testing::TestParamInfo<TieCase>& info) { return std::string(info.param.name); });

TEST_F(TransformTest, FlatAndFullRange) {
    int32_t block[64], out[64];
    for (int32_t& v : block) v = 100;
    ForwardDct(block, out);
    EXPECT_EQ(out[0], 800);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(out[i], 0);
    for (int32_t& v : block) v = 255;
    ForwardDct(block, out);
    EXPECT_EQ(out[0], 2040);
    for (int32_t& v : block) v = 5000;  // clamped to 255 first
    ForwardDct(block, out);
    EXPECT_EQ(out[0], 2040);
    for (int32_t& v : block) v = -5000;
    ForwardDct(block, out);
    EXPECT_EQ(out[0], -2048);
}

struct QuantCase {
    const char* name;
    int q;
    int32_t weight;
    int32_t coefficient;
    int32_t level;
};

class AcQuantiser : public TransformTest, public ::testing::WithParamInterface<QuantCase> {};

TEST_P(AcQuantiser, Level) {
    const QuantCase& c = GetParam();
    for (int32_t& w : gIntraMatrix.weights) w = c.weight;
    int32_t coefficients[64] = {}, levels[64];
    coefficients[9] = c.coefficient;
    QuantiseIntraBlock(c.q, coefficients, levels);
    EXPECT_EQ(levels[9], c.level);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, AcQuantiser,
    ::testing::Values(QuantCase{"Q1Plus20", 1, 16, 20, 10}, QuantCase{"Q1Minus20", 1, 16, -20, -10},
                      QuantCase{"Q4Plus25", 4, 16, 25, 3}, QuantCase{"VZero", 1, 83, 2, 0},
                      QuantCase{"VOneQ1", 1, 83, 3, 1},  // v = (48 + 41) / 83 = 1, (1 + 1) / 2
                      QuantCase{"Q31", 31, 16, -2048, -33}, QuantCase{"Clamp", 1, 1, 2047, 2047},
                      QuantCase{"ClampNegative", 1, 1, -2048, -2047}),
    [](const ::testing::TestParamInfo<QuantCase>& info) { return std::string(info.param.name); });

struct DcCase {
    int precision;
    int32_t coefficient;
    int32_t level;
};

class DcQuantiser : public TransformTest, public ::testing::WithParamInterface<DcCase> {};

TEST_P(DcQuantiser, Level) {
    for (int32_t& w : gIntraMatrix.weights) w = 16;
    gSettings.IntraDCPrecision = GetParam().precision;
    int32_t coefficients[64] = {}, levels[64];
    coefficients[0] = GetParam().coefficient;
    QuantiseIntraBlock(7, coefficients, levels);
    EXPECT_EQ(levels[0], GetParam().level);
}

INSTANTIATE_TEST_SUITE_P(Dc, DcQuantiser,
                         ::testing::Values(DcCase{0, 1020, 128}, DcCase{0, 1019, 127}, DcCase{0, -1020, -128},
                                           DcCase{0, 2047, 255}, DcCase{0, -2048, -255}, DcCase{1, 1022, 256},
                                           DcCase{1, -2048, -511}, DcCase{2, 1021, 511}, DcCase{2, 2047, 1023},
                                           DcCase{2, -3, -2}));

TEST_F(TransformTest, FetchStoreAndReload) {
    SetDefaultSettings();
    gSettings.FrameWidth = 64;
    gSettings.FrameHeight = 48;
    gSettings.XMBlock = 4;
    gSettings.YMBlock = 3;
    gSettings.MBlockPerSlice = 4;
    std::vector<uint8_t> y(64 * 48), cb(32 * 24), cr(32 * 24);
    for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<uint8_t>(i * 7);
    for (size_t i = 0; i < cb.size(); ++i) cb[i] = static_cast<uint8_t>(i * 3), cr[i] = static_cast<uint8_t>(255 - i);
    gPlanes.y = y.data();
    gPlanes.cb = cb.data();
    gPlanes.cr = cr.data();
    int32_t samples[kMacroblockValues];
    FetchMacroblock(16, 32, samples);
    EXPECT_EQ(samples[0], y[32 * 64 + 16]);
    EXPECT_EQ(samples[64 + 9], y[33 * 64 + 25]);     // Y1, row 1 column 1
    EXPECT_EQ(samples[128 + 63], y[47 * 64 + 23]);   // Y2, last sample
    EXPECT_EQ(samples[192], y[40 * 64 + 24]);        // Y3
    EXPECT_EQ(samples[256 + 10], cb[17 * 32 + 10]);  // Cb at (8, 16), row 1 column 2
    EXPECT_EQ(samples[320], cr[16 * 32 + 8]);

    std::vector<int16_t> py(64 * 48), pcb(32 * 24), pcr(32 * 24);
    CoefficientPlanes planes = {{64, 48, py.data()}, {32, 24, pcb.data()}, {32, 24, pcr.data()}};
    int32_t coefficients[kMacroblockValues], back[kMacroblockValues];
    for (int i = 0; i < kMacroblockValues; ++i) coefficients[i] = (i % 2 ? -2048 : 2047) - i;
    coefficients[5] = 0x12345;  // only the low 16 bits are kept
    StoreCoefficients(coefficients, 16, 32, &planes);
    LoadCoefficients(16, 32, &planes, back);
    for (int i = 0; i < kMacroblockValues; ++i)
        if (i != 5) {
            ASSERT_EQ(back[i], coefficients[i]) << i;
        }
    EXPECT_EQ(back[5], 0x2345);
    EXPECT_EQ(py[40 * 64 + 24], coefficients[192]);
    EXPECT_EQ(pcr[16 * 32 + 8], coefficients[320]);
    gPlanes.y = gPlanes.cb = gPlanes.cr = nullptr;
}

}  // namespace
