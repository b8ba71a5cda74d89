// The encoder driver: chroma decimation, progress and cancellation at every
// poll, repeated final attempts and the warnings of over-limit macroblocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/job.h"
#include "api/registry.h"
#include "control/crafted_pictures.h"
#include "control/encoder.h"
#include "control/test_pictures.h"
#include "convert/planes.h"
#include "params/settings.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/state.h"

// Every progress step of the driver passes through here (the test program links
// with --wrap for SetProgress), so a test can cancel at exactly one poll.
namespace {
std::vector<int> gSeenProgress;
int gCancelAtStep = -1;
}  // namespace

extern "C" void __real__Z11SetProgressi(int percent);
extern "C" void __wrap__Z11SetProgressi(int percent) {
    __real__Z11SetProgressi(percent);
    gSeenProgress.push_back(percent);
    if (static_cast<int>(gSeenProgress.size()) - 1 == gCancelAtStep && gJob.cancel != nullptr) *gJob.cancel = 1;
}

namespace {

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        gSeenProgress.clear();
        gCancelAtStep = -1;
        context_ = JobContext{};
        AttachJob(&context_);
    }
    void TearDown() override { ResetAllState(); }
    JobContext context_{};
};

int32_t TargetAfter(int attempts, int32_t target) {
    for (int k = 1; k < attempts; ++k) target = static_cast<int32_t>(target - static_cast<double>(target) * k * 0.01);
    return target;
}

int CountSequenceHeaders(const std::vector<uint8_t>& b) {
    int n = 0;
    for (size_t i = 0; i + 3 < b.size(); ++i) n += b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && b[i + 3] == 0xB3;
    return n;
}

TEST_F(DriverTest, DecimationFiltersRowPairsAndClampsAtTheEdges) {
    // 96 x 64: chroma 48 x 64, coded rows 0..63, output rows 0..31.
    gSettings.FrameWidth = 96;
    gSettings.FrameHeight = 64;
    gSettings.XMBlock = 6;
    gSettings.YMBlock = 4;
    ASSERT_EQ(DeriveSettings(), 0);
    std::vector<uint8_t> cb(48 * 64), cr(48 * 64);
    for (int r = 0; r < 64; ++r) {
        for (int c = 0; c < 48; ++c) {
            cb[r * 48 + c] = static_cast<uint8_t>(r);                 // a ramp
            cr[r * 48 + c] = static_cast<uint8_t>(r == 40 ? 255 : 0);  // one bright row
        }
    }
    gPlanes.cb = cb.data();
    gPlanes.cr = cr.data();
    ASSERT_EQ(DecimateChroma(), 0);
    EXPECT_EQ(TrackedBlocks(), 0);
    for (int c = 0; c < 48; c += 47) {
        // Top: rows -3..4 read row 0; the ramp's weighted sum is 122, rounding to 0.
        EXPECT_EQ(cb[0 * 48 + c], 0);
        EXPECT_EQ(cb[1 * 48 + c], 2);  // taps on rows 0,0,1..6: 623
        // Inside, a ramp comes out between its two centre rows, rounded up: 2j + 1.
        for (int j = 2; j < 31; ++j) ASSERT_EQ(cb[j * 48 + c], 2 * j + 1) << j;
        EXPECT_EQ(cb[31 * 48 + c], 63);  // taps on rows 59..63, 63, 63, 63
        // Rows below the output window keep their input.
        for (int r = 32; r < 64; ++r) ASSERT_EQ(cb[r * 48 + c], r) << r;
        // The bright row 40 under the outer negative tap gives -16, clamped to 0;
        // under the taps 49 and 98 it gives (49 x 255 + 128) / 256 and (98 x 255 + 128) / 256.
        EXPECT_EQ(cr[17 * 48 + c], 0);
        EXPECT_EQ(cr[18 * 48 + c], 0);   // centre 36: row 40 at the last tap
        EXPECT_EQ(cr[19 * 48 + c], 49);  // centre 38
        EXPECT_EQ(cr[20 * 48 + c], 98);  // centre 40
        EXPECT_EQ(cr[21 * 48 + c], 0);   // centre 42: -2 x 255
    }
}

TEST_F(DriverTest, ProgressRunsThroughEveryStage) {
    TempDir dir;
    const std::string stream = dir / "p.ts";
    SourcePicture picture = MakePicture(PictureKind::kNatural, 352, 240);
    ASSERT_EQ(EncodePlanesToFile(JobFor(picture, 600000, stream)), 0);
    EXPECT_EQ(gSeenProgress, (std::vector<int>{10, 10, 70, 80, 90}));
    EXPECT_EQ(gPlanes.y, nullptr);
}

struct CancelCase {
    int step;           // which progress write the cancel follows
    int blocksLeft;     // blocks the driver leaves to the job's registry
    bool streamExists;  // with the headers only
};

class CancelTest : public DriverTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CancelTest, EachPollStopsTheJob) {
    const CancelCase c = GetParam();
    TempDir dir;
    const std::string stream = dir / "c.ts";
    SourcePicture picture = MakePicture(PictureKind::kGradient, 352, 240);
    gCancelAtStep = c.step;
    EXPECT_EQ(EncodePlanesToFile(JobFor(picture, 600000, stream)), 1);
    EXPECT_EQ(static_cast<int>(gSeenProgress.size()), c.step + 1);
    EXPECT_EQ(TrackedBlocks(), c.blocksLeft);
    EXPECT_EQ(gFileRegistry.count, 0);
    ASSERT_EQ(FileExists(stream), c.streamExists);
    if (c.streamExists) {
        // Sequence header with its matrix, extensions, GOP and picture headers; no slice.
        std::vector<uint8_t> b = ReadFileBytes(stream);
        EXPECT_EQ(CountSequenceHeaders(b), 1);
        ASSERT_GE(b.size(), 9u);
        EXPECT_EQ(std::vector<uint8_t>(b.end() - 9, b.end() - 5), (std::vector<uint8_t>{0, 0, 1, 0xB5}));
        for (size_t i = 0; i + 3 < b.size(); ++i) {
            ASSERT_FALSE(b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && b[i + 3] >= 1 && b[i + 3] <= 0xAF) << i;
        }
    }
}

// The three picture planes stay until the coding passes start; after that the driver frees everything.
INSTANTIATE_TEST_SUITE_P(Polls, CancelTest,
                         ::testing::Values(CancelCase{0, 3, false}, CancelCase{1, 3, false}, CancelCase{2, 0, false},
                                           CancelCase{3, 0, false}, CancelCase{4, 0, true}));

TEST_F(DriverTest, OverLimitMacroblocksAtQ31AreWarnedPerSliceAndFrame) {
    TempDir dir;
    const std::string stream = dir / "w.ts";
    SourcePicture picture = CostlyMacroblocks(10);
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(EncodePlanesToFile(JobFor(picture, 1800000, stream)), 0);
    const std::string out = ::testing::internal::GetCapturedStdout();
    std::string expected;
    for (int row : {2, 7, 10, 13, 18, 21, 24, 29, 32, 35}) {
        expected += "\n\t WARNING: 1 MB's generated over 4608 bits in the slice(" + std::to_string(row) + ")\n";
    }
    expected += "\n\t WARNING!!: 10 MB's generated over 4608 bits in this frame\n";
    EXPECT_EQ(out, expected);
    EXPECT_EQ(DecoderProblems(DecodeStream(stream, 720, 576), 720, 576), "");
}

TEST_F(DriverTest, AnOvershootAtTheLimitStartsAnotherAttempt) {
    TempDir dir;
    const std::string stream = dir / "r.ts";
    SourcePicture picture = CostlyLastRow();
    ASSERT_EQ(EncodePlanesToFile(JobFor(picture, 1800000, stream)), 0);
    EXPECT_EQ(gSettings.Target, 1782000);
    EXPECT_EQ(gSeenProgress, (std::vector<int>{10, 10, 70, 80, 90, 90}));
    std::vector<uint8_t> b = ReadFileBytes(stream);
    EXPECT_LE(b.size() * 8, 1800000u);
    EXPECT_EQ(CountSequenceHeaders(b), 1);
    EXPECT_EQ(DecoderProblems(DecodeStream(stream, 720, 576), 720, 576), "");
}

TEST_F(DriverTest, NoiseAboveTheLimitRetriesUntilItFits) {
    // A target beyond 1,800,000 (only reachable from memory) makes every attempt
    // overshoot until the compounding reductions bring it below the limit.
    TempDir dir;
    const std::string stream = dir / "n.ts";
    SourcePicture noise = MakePicture(PictureKind::kNoise, 720, 576);
    ASSERT_EQ(EncodePlanesToFile(JobFor(noise, 2400000, stream)), 0);
    const int attempts = static_cast<int>(gSeenProgress.size()) - 4;
    EXPECT_GE(attempts, 5);
    EXPECT_EQ(gSettings.Target, TargetAfter(attempts, 2400000));
    EXPECT_EQ(TargetAfter(4, 1800000), 1693969);
    std::vector<uint8_t> b = ReadFileBytes(stream);
    EXPECT_LE(b.size() * 8, 1800000u);
    EXPECT_GT(b.size() * 8, 1600000u);
    EXPECT_EQ(CountSequenceHeaders(b), 1);
    EXPECT_EQ(DecoderProblems(DecodeStream(stream, 720, 576), 720, 576), "");
    EXPECT_EQ(TrackedBlocks(), 0);
    std::printf("  noise at Target 2,400,000: %d attempts, final Target %d, %zu bits\n", attempts, gSettings.Target,
                b.size() * 8);
}

}  // namespace
