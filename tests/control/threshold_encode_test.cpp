// Whole encodes with the extended pre-analysis, checked with real decoders, and
// the last estimate quantiser carried from one job to the next.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <tuple>

#include "api/job_driver.h"
#include "api/registry.h"
#include "coding/intra_matrix.h"
#include "control/encoder.h"
#include "control/test_pictures.h"
#include "control/analysis.h"
#include "control/threshold_search.h"
#include "params/settings.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/state.h"

namespace {

struct ExtendedOutcome {
    int result = -9;
    std::vector<uint8_t> stream;
    float threshold = -1.0f;
    int32_t lastEstimateQ = -1;
    int32_t matrix[64] = {};
    int32_t precision = -1;
    double psnr = 0.0;
    std::string problems;
};

// One job with extended analysis; the stream is decoded only when asked.
ExtendedOutcome EncodeExtended(const SourcePicture& picture, int32_t target, bool decode) {
    TempDir dir;
    const std::string path = dir / "picture.ts";
    ExtendedOutcome o;
    gSwitches.extendedAnalysis = 1;
    o.result = EncodePlanesToFile(JobFor(picture, target, path));
    o.stream = ReadFileBytes(path);
    o.threshold = gThreshold.threshold;
    o.lastEstimateQ = gThreshold.lastEstimateQ;
    std::memcpy(o.matrix, gIntraMatrix.weights, sizeof(o.matrix));
    o.precision = gSettings.IntraDCPrecision;
    if (decode) {
        DecoderVerdict v = DecodeStream(path, picture.width, picture.height);
        o.problems = DecoderProblems(v, picture.width, picture.height);
        if (v.ffmpeg.y.size() == picture.y.size()) o.psnr = Psnr(v.ffmpeg.y.data(), picture.y.data(), picture.y.size());
    }
    return o;
}

const int kSizes[][2] = {{720, 576}, {720, 480}, {352, 240}, {96, 64}};

class ExtendedEncodeTest : public ::testing::TestWithParam<std::tuple<PictureKind, int, int32_t>> {
protected:
    void SetUp() override { ResetAllState(); }
    void TearDown() override { ResetAllState(); }
};

TEST_P(ExtendedEncodeTest, StreamDecodesAndFits) {
    const PictureKind kind = std::get<0>(GetParam());
    const int width = kSizes[std::get<1>(GetParam())][0], height = kSizes[std::get<1>(GetParam())][1];
    const int32_t target = std::get<2>(GetParam());
    const SourcePicture picture = MakePicture(kind, width, height);
    const ExtendedOutcome o = EncodeExtended(picture, target, true);
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.problems, "");
    EXPECT_LE(o.stream.size() * 8, 1800000u);
    EXPECT_EQ(o.matrix[0], 8);
    for (int p = 1; p < 64; ++p) EXPECT_TRUE(o.matrix[p] >= 1 && o.matrix[p] <= 127) << p;
    EXPECT_EQ(TrackedBlocks(), 0);
    EXPECT_EQ(gFileRegistry.count, 0);
    std::printf("  %-8s %3dx%-3d Target %7d: %8zu bits, threshold %g, last q %d, precision %d, PSNR %.2f dB\n",
                KindName(kind), width, height, target, o.stream.size() * 8, o.threshold, o.lastEstimateQ,
                o.precision, o.psnr);
}

INSTANTIATE_TEST_SUITE_P(Natural, ExtendedEncodeTest,
                         ::testing::Combine(::testing::Values(PictureKind::kNatural), ::testing::Range(0, 4),
                                            ::testing::Values(160000, 1200000)));
// Flat and noise are the two ends of the search: stage 2 and thresholds near 200.
INSTANTIATE_TEST_SUITE_P(Ends, ExtendedEncodeTest,
                         ::testing::Combine(::testing::Values(PictureKind::kFlatGrey, PictureKind::kNoise),
                                            ::testing::Range(0, 4), ::testing::Values(400000)));
INSTANTIATE_TEST_SUITE_P(Synthetic, ExtendedEncodeTest,
                         ::testing::Combine(::testing::Values(PictureKind::kGradient, PictureKind::kEdges),
                                            ::testing::Values(0, 3), ::testing::Values(400000)));

class ExtendedJobTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAllState(); }
    void TearDown() override { ResetAllState(); }
};

// A flat picture fits with the finest matrix at q 8 and 7; from q 6 on the
// unchanged all-127 matrix is stepped over without estimates up to 200.
TEST_F(ExtendedJobTest, FlatPictureGoesThroughTheFinerEstimateQuantisers) {
    const ExtendedOutcome o = EncodeExtended(MakePicture(PictureKind::kFlatGrey, 96, 64), 400000, false);
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.lastEstimateQ, 4);
    EXPECT_GT(o.threshold, 199.0f);
    EXPECT_LT(o.threshold, 200.0f);
    for (int p = 1; p < 64; ++p) EXPECT_EQ(o.matrix[p], 127) << p;
    EXPECT_EQ(o.precision, 0);
}

// Stage 2 accepts 0.5; in single precision 0.5 - 0.4 is 0.099999994, and the
// final stage starts 0.1 below that, under 0: the minimum weight table itself.
TEST_F(ExtendedJobTest, FinalStageBelowZeroGivesTheMinimumWeights) {
    const ExtendedOutcome o = EncodeExtended(MakePicture(PictureKind::kGradient, 96, 64), 400000, false);
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.threshold, -0x1p-27f);
    for (int p = 1; p < 64; ++p) EXPECT_EQ(o.matrix[p], gAnalysis.minWeight[p]) << p;
}

// The last estimate quantiser outlives a job: a flat picture first makes the
// next job step over unchanged matrices that would otherwise end its stages.
TEST_F(ExtendedJobTest, SecondJobDependsOnTheLastEstimateQuantiser) {
    const SourcePicture noise = MakePicture(PictureKind::kNoise, 352, 240);
    const ExtendedOutcome fresh = EncodeExtended(noise, 400000, false);
    ASSERT_EQ(fresh.result, 0);
    EXPECT_EQ(fresh.lastEstimateQ, 0);

    ResetAllState();
    ASSERT_EQ(EncodeExtended(MakePicture(PictureKind::kFlatGrey, 96, 64), 400000, false).lastEstimateQ, 4);
    const ExtendedOutcome after = EncodeExtended(noise, 400000, true);
    ASSERT_EQ(after.result, 0);
    EXPECT_EQ(after.problems, "");
    EXPECT_NE(after.threshold, fresh.threshold);
    EXPECT_NE(std::memcmp(after.matrix, fresh.matrix, sizeof(fresh.matrix)), 0);
    EXPECT_NE(after.stream, fresh.stream);

    // Nothing else carries over: the same job in a fresh process repeats the first.
    ResetAllState();
    const ExtendedOutcome again = EncodeExtended(noise, 400000, false);
    EXPECT_EQ(again.stream, fresh.stream);
}

}  // namespace
