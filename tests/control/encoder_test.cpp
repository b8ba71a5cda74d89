// The encoder driver from picture planes to a stream file where the end-to-end table does not
// reach: a coded area away from the picture's corner, cancellation at every poll, over-limit
// warnings, a target beyond the limit lowered until the picture fits, and targets far below it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "coding/quantise.h"
#include "control/encoder.h"
#include "convert/planes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "runtime/job.h"
#include "runtime/registry.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/planes_job.h"
#include "support/state.h"

namespace {

// Every progress step of a job, and the step (counted from 0) at which the test cancels it.
std::vector<int> gSeenProgress;
int gCancelAtStep = -1;

void ObserveProgress(int percent) {
    gSeenProgress.push_back(percent);
    if (static_cast<int>(gSeenProgress.size()) - 1 == gCancelAtStep) *tJob->cancel = 1;
}

enum Kind { kFlat, kGradient, kNoise };

// Y (width x height), then Cb and Cr ((width / 2) x height), as the conversion hands them over.
struct Picture {
    int width, height;
    std::vector<uint8_t> yuv;
    uint8_t* plane(int c) { return yuv.data() + (c == 0 ? 0 : width * height * (c + 1) / 2); }
};

// Flat grey; a luma ramp over flat chroma; full-range noise in every plane.
Picture Make(Kind kind, int width, int height) {
    Picture p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 2, 128)};
    uint32_t seed = 12345;
    for (size_t i = 0; i < p.yuv.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        if (kind == kNoise) p.yuv[i] = static_cast<uint8_t>(seed >> 24);
        if (kind == kGradient && i < p.yuv.size() / 2)
            p.yuv[i] = static_cast<uint8_t>(16 + i % width * 150 / width + i / width * 70 / height);
    }
    return p;
}

// An 8 x 8 block whose 63 AC coefficients all have magnitude 100 (random signs) around mean 127.5:
// costly at any quantiser once the weights are fine.
void FlatSpectrumBlock(uint8_t* dst, int stride, uint32_t* seed) {
    double f[64];
    for (double& v : f) v = ((*seed = *seed * 1103515245u + 12345u) >> 31) != 0 ? 100.0 : -100.0;
    f[0] = 1020.0;
    auto basis = [](int n, int u) {
        return (u != 0 ? 0.5 : 0.5 * M_SQRT1_2) * std::cos((2 * n + 1) * u * M_PI / 16);
    };
    for (int i = 0; i < 64; ++i) {
        double s = 0.0;
        for (int k = 0; k < 64; ++k) s += f[k] * basis(i % 8, k % 8) * basis(i / 8, k / 8);
        dst[i / 8 * stride + i % 8] =
            static_cast<uint8_t>(std::lround(std::min(255.0, std::max(0.0, s))));
    }
}

struct Outcome {
    int result;
    bool written;  // the stream file exists
    std::vector<uint8_t> stream;
    double psnr;
    std::string problems;
};

Outcome Encode(Picture p, int32_t target, bool decode = true) {
    TempDir dir;
    const std::string path = dir / "p.ts";
    const PlanesJob job{p.width, p.height,        p.plane(0), p.plane(1),  p.plane(2),
                        target,  p.height == 576, 0,          path.c_str()};
    const int result = EncodePlanesToFile(job);
    Outcome o{result, FileExists(path), ReadFileBytes(path), 0.0, ""};
    if (!decode) return o;
    const DecoderVerdict v = DecodeStream(path, p.width, p.height);
    o.problems = DecoderProblems(v, p.width, p.height);
    if (v.ffmpeg.y.size() * 2 == p.yuv.size())
        o.psnr = Psnr(v.ffmpeg.y.data(), p.plane(0), v.ffmpeg.y.size());
    return o;
}

class Driver : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        gSeenProgress.clear();
        gCancelAtStep = -1;
        AttachJob(&context_);
        tJob->progressObserver = ObserveProgress;
    }
    JobContext context_{};
};

// A coded area away from the picture's top left (20 x 16 macroblocks from luma (16, 8)) is
// transformed from its own samples, as each of its macroblocks fetched alone gives them.
TEST_F(Driver, CodedAreaElsewhereIsTransformedFromItsOwnSamples) {
    Picture p = Make(kNoise, 352, 288);
    const SamplePlanes picture{p.plane(0), p.plane(1), p.plane(2), 352, 16, 8};
    std::vector<int16_t> stored(20 * 16 * kMacroblockValues);
    CoefficientStore store{stored.data(), 20, 16};
    TransformMacroblockRows(picture, 0, 16, &store);
    for (int mb = 0; mb < 20 * 16; ++mb) {
        int32_t samples[kMacroblockValues], own[kMacroblockValues], loaded[kMacroblockValues];
        FetchMacroblock(picture, 16 + 16 * (mb % 20), 8 + 16 * (mb / 20), samples);
        for (int b = 0; b < kBlocksPerMacroblock; ++b) ForwardDct(samples + 64 * b, own + 64 * b);
        LoadMacroblock(store, mb, loaded);
        ASSERT_TRUE(std::equal(own, own + kMacroblockValues, loaded)) << mb;
    }
}

// The blocks the registry still owns, in address order.
std::vector<const void*> OwnedBlocks() {
    std::vector<const void*> owned;
    for (int i = 0; i < tAllocRegistry->count; ++i) {
        if (tAllocRegistry->records[i].block != nullptr)
            owned.push_back(tAllocRegistry->records[i].block);
    }
    std::sort(owned.begin(), owned.end());
    return owned;
}

// A cancelled job keeps nothing the encoder took: the picture planes, which stay the job's until
// the coding passes start, are all it still owns before them, and nothing after. A cancel at the
// final attempt's poll leaves its headers, the picture coding extension last, and no slice.
class Cancel : public Driver, public ::testing::WithParamInterface<int> {};
TEST_P(Cancel, EachPollStopsTheJob) {
    gCancelAtStep = GetParam();
    const Outcome o = Encode(Make(kGradient, 352, 240), 600000, false);
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(static_cast<int>(gSeenProgress.size()), GetParam() + 1);
    const bool passesStarted = GetParam() >= 2;
    std::vector<const void*> planes;
    if (!passesStarted) planes = {tPlanes->y, tPlanes->cb, tPlanes->cr};
    std::sort(planes.begin(), planes.end());
    EXPECT_EQ(OwnedBlocks(), planes);
    EXPECT_EQ(tFileRegistry->count, 0);
    const uint8_t extension[] = {0, 0, 1, 0xB5};
    EXPECT_EQ(o.stream.size() >= 9 && std::equal(extension, extension + 4, o.stream.end() - 9),
              GetParam() == 4);
}
const char* const kPollNames[] = {"AfterSettings", "BeforeAnalysis", "BeforePass1", "BeforePass2",
                                  "BeforeFinalPass"};
INSTANTIATE_TEST_SUITE_P(Polls, Cancel, ::testing::Range(0, 5),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(kPollNames[info.param]);
                         });

TEST_F(Driver, OverLimitMacroblocksAtTheLargestQuantiserAreWarned) {
    // Flat grey with ten flat-spectrum macroblocks, each in a slice of its own; every chroma row
    // twice, so that the vertical decimation gives the block back nearly unchanged.
    Picture p = Make(kFlat, 720, 576);
    uint32_t seed = 99;
    for (int m = 0; m < 10; ++m) {
        const int mx = (m * 7 + 3) % 45, my = (m * 11 + 2) % 36;
        uint8_t* luma = p.plane(0) + my * 16 * 720 + mx * 16;
        for (int b = 0; b < 4; ++b)
            FlatSpectrumBlock(luma + b / 2 * 8 * 720 + b % 2 * 8, 720, &seed);
        for (int c = 1; c < 3; ++c) {
            uint8_t* block = p.plane(c) + my * 16 * 360 + mx * 8;
            FlatSpectrumBlock(block, 720, &seed);
            for (int r = 0; r < 16; r += 2)
                std::copy(block + r * 360, block + r * 360 + 8, block + (r + 1) * 360);
        }
    }
    ::testing::internal::CaptureStdout();
    const Outcome o = Encode(p, 1800000);
    const std::string out = ::testing::internal::GetCapturedStdout();
    std::string expected;
    for (int row : {2, 7, 10, 13, 18, 21, 24, 29, 32, 35})
        expected += "\n\t WARNING: 1 MB's generated over 4608 bits in the slice(" +
                    std::to_string(row) + ")\n";
    EXPECT_EQ(out, expected + "\n\t WARNING!!: 10 MB's generated over 4608 bits in this frame\n");
    EXPECT_EQ(o.problems, "");
    EXPECT_GE(o.psnr, 40.0);
}

// A target beyond the limit (only reachable from memory) overshoots until the reductions, 1%,
// 2%, ... 8% in turn, bring it below: the stream plays in both decoders and
// resembles its source, and nothing stays allocated or open.
TEST_F(Driver, TargetBeyondTheLimitIsLoweredUntilThePictureFits) {
    const Outcome o = Encode(Make(kNoise, 720, 576), 2400000);
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.problems, "");
    EXPECT_GE(o.psnr, 20);
    EXPECT_LE(o.stream.size() * 8, 1800000u);
    EXPECT_EQ(gSeenProgress,
              (std::vector<int>{10, 10, 70, 80, 90, 90, 90, 90, 90, 90, 90, 90, 90}));
    EXPECT_EQ(tSettings->Target, 1656675);
    EXPECT_EQ(TrackedBlocks() + tFileRegistry->count, 0);
}

// Targets a job file gives only under the progressive-still switch, down to the lowest: the
// budgets, the buffer fullness and the quantisers follow the 32-bit rules, and every job ends,
// finished with a stream within the size limit that the decoders accept, or failed with the one
// line that says the picture does not fit and no stream file. The lowest
// target wraps the budgets round to the highest: the finest matrix and full shares, which noise
// overruns, and the target has nothing left to lower.
struct ExtremeCase {
    std::string name;
    Kind kind;
    int32_t target;
    int32_t extended;
};

void PrintTo(const ExtremeCase& c, std::ostream* os) { *os << c.name; }

class TargetExtremes : public Driver, public ::testing::WithParamInterface<ExtremeCase> {};

TEST_P(TargetExtremes, JobEndsFinishedWithinTheLimitOrFailed) {
    const ExtremeCase& c = GetParam();
    tSwitches->progressiveStill = 1;
    tSwitches->extendedAnalysis = c.extended;
    char errorText[1024] = "";
    BindErrorText(errorText, kModulePictor);
    std::snprintf(tMessageNames->pictureName, sizeof tMessageNames->pictureName, "p.tif");
    const bool noise = c.kind == kNoise;
    const bool fits = !noise || c.target != INT32_MIN;
    const Outcome o = Encode(Make(c.kind, noise ? 720 : 96, noise ? 480 : 64), c.target, fits);
    EXPECT_EQ(o.result, fits ? 0 : -1);
    EXPECT_EQ(o.written, fits);
    EXPECT_LE(o.stream.size() * 8, 1800000u);
    EXPECT_EQ(o.problems, "");
    EXPECT_EQ(
        std::string(errorText),
        fits ? "" : "Pictor error 49: Picture cannot be coded within 1800000 bits <p.tif> \n");
    EXPECT_EQ(TrackedBlocks() + tFileRegistry->count, 0);
}

// Both pictures at each target under either rule: only noise at the lowest target fails.
std::vector<ExtremeCase> ExtremeCases() {
    const int32_t targets[] = {INT32_MIN, -2000000000, -5, 0, 59};
    const char* const names[] = {"MinInt", "Minus2000000000", "Minus5", "Zero", "59"};
    std::vector<ExtremeCase> cases;
    for (Kind kind : {kGradient, kNoise}) {
        for (int32_t extended : {0, 1}) {
            for (int t = 0; t < 5; ++t) {
                cases.push_back({std::string(kind == kNoise ? "Noise720x480At" : "Ramp96x64At") +
                                     names[t] + (extended ? "Extended" : ""),
                                 kind, targets[t], extended});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(ProgressiveStill, TargetExtremes, ::testing::ValuesIn(ExtremeCases()),
                         ::testing::PrintToStringParamName());

}  // namespace
