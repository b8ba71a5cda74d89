// Whole encodes from picture planes to a stream file, checked with real decoders.
#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "api/job_driver.h"
#include "api/registry.h"
#include "control/encoder.h"
#include "control/test_pictures.h"
#include "params/settings.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/state.h"

namespace {

struct Outcome {
    int result = -9;
    size_t bytes = 0;
    double psnr = 0.0;
    std::string problems;
};

Outcome EncodeAndDecode(const SourcePicture& picture, int32_t target) {
    TempDir dir;
    const std::string stream = dir / "picture.ts";
    Outcome o;
    o.result = EncodePlanesToFile(JobFor(picture, target, stream));
    std::vector<uint8_t> bytes = ReadFileBytes(stream);
    o.bytes = bytes.size();
    DecoderVerdict v = DecodeStream(stream, picture.width, picture.height);
    o.problems = DecoderProblems(v, picture.width, picture.height);
    if (v.ffmpeg.y.size() == picture.y.size()) o.psnr = Psnr(v.ffmpeg.y.data(), picture.y.data(), picture.y.size());
    return o;
}

class EncodeTest : public ::testing::TestWithParam<std::tuple<PictureKind, int, int32_t>> {
protected:
    void SetUp() override { ResetAllState(); }
    void TearDown() override { ResetAllState(); }
};

const int kSizes[][2] = {{720, 576}, {720, 480}, {352, 240}, {96, 64}};

// Lowest luma PSNR accepted, by picture kind and whether the target is the smallest.
double LeastPsnr(PictureKind kind, int32_t target) {
    const bool tight = target <= 160000;
    switch (kind) {
        case PictureKind::kFlatGrey: return 45.0;
        case PictureKind::kGradient: return tight ? 35.0 : 40.0;
        case PictureKind::kEdges: return tight ? 14.0 : 24.0;
        default: return tight ? 20.0 : 27.0;
    }
}

TEST_P(EncodeTest, StreamDecodesFitsAndResemblesTheSource) {
    const PictureKind kind = std::get<0>(GetParam());
    const int sizeIndex = std::get<1>(GetParam());
    const int32_t target = std::get<2>(GetParam());
    const int width = kSizes[sizeIndex][0], height = kSizes[sizeIndex][1];
    SourcePicture picture = MakePicture(kind, width, height);
    Outcome o = EncodeAndDecode(picture, target);
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.problems, "");
    EXPECT_LE(o.bytes * 8, 1800000u);
    EXPECT_GE(o.psnr, LeastPsnr(kind, target));
    EXPECT_EQ(TrackedBlocks(), 0);
    EXPECT_EQ(gFileRegistry.count, 0);
    std::printf("  %-8s %3dx%-3d Target %7d: %8zu bits (%.3f of Target), luma PSNR %.2f dB\n", KindName(kind), width,
                height, target, o.bytes * 8, static_cast<double>(o.bytes * 8) / target, o.psnr);
}

INSTANTIATE_TEST_SUITE_P(Natural, EncodeTest,
                         ::testing::Combine(::testing::Values(PictureKind::kNatural), ::testing::Range(0, 4),
                                            ::testing::Values(160000, 600000, 1200000, 1800000)));
INSTANTIATE_TEST_SUITE_P(Synthetic, EncodeTest,
                         ::testing::Combine(::testing::Values(PictureKind::kFlatGrey, PictureKind::kGradient,
                                                              PictureKind::kEdges),
                                            ::testing::Range(0, 4), ::testing::Values(160000, 1800000)));

// With the progressive-still switch a job keeps any target, even one that
// leaves the virtual buffer empty or the share-out negative.
TEST_F(EncodeTest, TinyAndNegativeTargetsStillGiveAPicture) {
    gSwitches.progressiveStill = 1;
    SourcePicture picture = MakePicture(PictureKind::kNatural, 352, 240);
    for (int32_t target : {100000, 59, 0, -50000}) {
        Outcome o = EncodeAndDecode(picture, target);
        EXPECT_EQ(o.result, 0) << target;
        EXPECT_EQ(o.problems, "") << target;
        EXPECT_EQ(gSettings.ProgressiveSeque, 1);
        EXPECT_GE(o.psnr, 18.0) << target;
        EXPECT_LT(o.bytes * 8, 200000u) << target;
    }
}

}  // namespace
