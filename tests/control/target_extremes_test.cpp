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
    const char* name;
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
    }
}

std::vector<ExtremeCase> Cases() {
    return {
        {"Pattern96x64AtMinInt", Picture::kPattern96x64, INT32_MIN, 0, PICTOR_FINISHED},
        {"Pattern96x64AtMinus2000000000", Picture::kPattern96x64, -2000000000, 0, PICTOR_FINISHED},
        {"Pattern96x64AtMinus5", Picture::kPattern96x64, -5, 0, PICTOR_FINISHED},
        {"Pattern96x64AtZero", Picture::kPattern96x64, 0, 0, PICTOR_FINISHED},
        {"Pattern96x64At59", Picture::kPattern96x64, 59, 0, PICTOR_FINISHED},
        {"Pattern96x64AtMinIntExtended", Picture::kPattern96x64, INT32_MIN, 1, PICTOR_FINISHED},
        {"Pattern96x64AtMinus2000000000Extended", Picture::kPattern96x64, -2000000000, 1,
         PICTOR_FINISHED},
        {"Pattern96x64AtMinus5Extended", Picture::kPattern96x64, -5, 1, PICTOR_FINISHED},
        {"Pattern96x64AtZeroExtended", Picture::kPattern96x64, 0, 1, PICTOR_FINISHED},
        {"Pattern96x64At59Extended", Picture::kPattern96x64, 59, 1, PICTOR_FINISHED},
        {"Noise720x480AtMinInt", Picture::kNoise720x480, INT32_MIN, 0, PICTOR_FAILED},
        {"Noise720x480AtMinus2000000000", Picture::kNoise720x480, -2000000000, 0, PICTOR_FINISHED},
        {"Noise720x480AtMinus5", Picture::kNoise720x480, -5, 0, PICTOR_FINISHED},
        {"Noise720x480AtZero", Picture::kNoise720x480, 0, 0, PICTOR_FINISHED},
        {"Noise720x480At59", Picture::kNoise720x480, 59, 0, PICTOR_FINISHED},
        {"Noise720x480AtMinIntExtended", Picture::kNoise720x480, INT32_MIN, 1, PICTOR_FAILED},
        {"Noise720x480AtMinus2000000000Extended", Picture::kNoise720x480, -2000000000, 1,
         PICTOR_FINISHED},
        {"Noise720x480AtMinus5Extended", Picture::kNoise720x480, -5, 1, PICTOR_FINISHED},
        {"Noise720x480AtZeroExtended", Picture::kNoise720x480, 0, 1, PICTOR_FINISHED},
        {"Noise720x480At59Extended", Picture::kNoise720x480, 59, 1, PICTOR_FINISHED},
    };
}

INSTANTIATE_TEST_SUITE_P(ProgressiveStill, TargetExtremes, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<ExtremeCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
