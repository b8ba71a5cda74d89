// Jobs whose target leaves the range a job file normally gives (the progressive-still switch
// takes any TARGET_SIZE as it is): the budgets, the buffer fullness and the quantisers follow the
// 32-bit rules, and every job ends, either finished with a stream within the size limit that the
// decoders accept, or failed with the one line that says the picture does not fit. The lowest
// target wraps the budgets round to the highest: the finest matrix and full shares, which noise
// overruns, and the target has nothing left to lower.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "api/registry.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/job_runner.h"

namespace {

enum class Picture { kPattern96x64, kNoise720x480 };

struct ExtremeCase {
    std::string name;
    Picture picture;
    int32_t target;
    int32_t extended;
    int result;
};

void PrintTo(const ExtremeCase& c, std::ostream* os) { *os << c.name; }

class TargetExtremes : public ::testing::TestWithParam<ExtremeCase> {};

TEST_P(TargetExtremes, JobEndsFinishedWithinTheLimitOrFailed) {
    const ExtremeCase& c = GetParam();
    TempDir dir;
    const bool noise = c.picture == Picture::kNoise720x480;
    const int width = noise ? 720 : 96;
    const int height = noise ? 480 : 64;
    if (noise) {
        WriteNoisePicture(dir.path, "p.tif", width, height, 2024);
    } else {
        WriteStillPicture(dir.path, "p.tif", width, height);
    }
    WriteFileText(dir / "j.tp", "SOURCE_FILE p.tif\nTARGET_SIZE " + std::to_string(c.target) +
                                    "\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n");
    JobOptions options;
    options.extendedAnalysis = c.extended;
    options.progressiveStill = 1;
    const JobOutcome job = RunPictor(dir.path, "j.tp", options);
    EXPECT_EQ(job.result, c.result) << job.errorText;
    EXPECT_EQ(job.progress, 100);
    EXPECT_EQ(job.status, job.result);
    EXPECT_EQ(TrackedBlocks(), 0);
    if (job.result == PICTOR_FINISHED) {
        EXPECT_EQ(job.errorText, "");
        const std::vector<uint8_t> stream = ReadFileBytes(dir / "j.ts");
        EXPECT_LE(stream.size() * 8, 1800000u);
        const DecoderVerdict verdict = DecodeStream(dir / "j.ts", width, height);
        EXPECT_EQ(DecoderProblems(verdict, width, height), "");
    } else {
        EXPECT_EQ(job.errorText, ErrorLine(49, "Picture cannot be coded within 1800000 bits <" +
                                                   dir / "j.tif" + "> "));
        // The last attempt's stream stays in the file.
        EXPECT_GT(ReadFileBytes(dir / "j.ts").size() * 8, 1800000u);
    }
}

// Both pictures at each target under either rule: only noise at the lowest target fails.
std::vector<ExtremeCase> Cases() {
    const int32_t targets[] = {INT32_MIN, -2000000000, -5, 0, 59};
    const char* const names[] = {"MinInt", "Minus2000000000", "Minus5", "Zero", "59"};
    std::vector<ExtremeCase> cases;
    for (Picture picture : {Picture::kPattern96x64, Picture::kNoise720x480}) {
        for (int32_t extended : {0, 1}) {
            for (int t = 0; t < 5; ++t) {
                const bool noise = picture == Picture::kNoise720x480;
                const bool fails = noise && targets[t] == INT32_MIN;
                cases.push_back({std::string(noise ? "Noise720x480At" : "Pattern96x64At") +
                                     names[t] + (extended ? "Extended" : ""),
                                 picture, targets[t], extended,
                                 fails ? PICTOR_FAILED : PICTOR_FINISHED});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(ProgressiveStill, TargetExtremes, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<ExtremeCase>& info) {
                             return info.param.name;
                         });

}  // namespace
