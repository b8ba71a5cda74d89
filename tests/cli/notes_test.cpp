// What the command adds to a job's own words: warnings about how a job file
// is read, hints where the library names no cause, the summary's wording.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "support/job_runner.h"

namespace {

const std::string kSource = "SOURCE_FILE pic.tif\n";
const std::string kRest = "FRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
const std::string kTarget = "TARGET_SIZE 200000\n";

// `pictor run job.tp` on the job file `text`; err: what standard error says,
// in this order; out: what the summary says (empty: no summary).
struct NotesCase {
    const char* name;
    std::string text;
    int status;
    std::vector<std::string> err;
    std::string out;
};

void PrintTo(const NotesCase& c, std::ostream* os) { *os << c.name; }

const NotesCase kNotesCases[] = {
    {"PartialTarget",
     kSource + "TARGET_SIZE 1.2M\n" + kRest,
     0,
     {"job.tp line 2: TARGET_SIZE '1.2M' is read as 1 (its leading digits); the job aims at "
      "160000 bits; write the bits in full (1200000)"},
     "of the target 160000 bits"},
    {"TargetAboveTheLargest",
     kSource + "TARGET_SIZE 2000000\n" + kRest,
     0,
     {"TARGET_SIZE 2000000 is above the largest target; the job aims at 1800000 bits"},
     "of the target 1800000 bits"},
    {"SecondTarget",
     kSource + kTarget + kRest + "TARGET_SIZE 900000\n",
     0,
     {"job.tp line 6: a second TARGET_SIZE is not read; the first (line 2) counts"},
     "of the target 200000 bits"},
    {"LowerCaseKey",
     kSource + kTarget + "frmrt NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n",
     1,
     {ErrorLine(39, "FRMRT is not specified <job.tp>"),
      "job.tp line 3: 'frmrt' is not read: keys are upper case (FRMRT)"},
     ""},
    {"LowerCaseValue",
     kSource + kTarget + "FRMRT ntsc\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n",
     1,
     {ErrorLine(33, "Invalid FRMRT: ntsc <job.tp> "),
      "job.tp line 3: FRMRT takes NTSC in capitals"},
     ""},
    // Only the first FRMRT line's value is ever named: the library says nothing.
    {"RepeatedKeyWithAnInvalidValue",
     kSource + kTarget + kRest + "FRMRT SECAM\n",
     1,
     {"pictor: the job failed without a message",
      "job.tp line 6: FRMRT 'SECAM' is not valid; it fails the job, but only the value of the "
      "first FRMRT line (line 3) is named"},
     ""},
};

class NotesTest : public ::testing::TestWithParam<NotesCase> {};

TEST_P(NotesTest, FollowTheLibrarysWords) {
    const NotesCase& c = GetParam();
    CliFolder folder;
    folder.Add("job.tp", c.text);
    const CliResult r = folder.Run("run job.tp");
    EXPECT_EQ(r.status, c.status) << r.err;
    size_t at = 0;
    for (const std::string& part : c.err) {
        at = r.err.find(part, at);
        EXPECT_NE(at, std::string::npos) << part << "\nin\n" << r.err;
    }
    EXPECT_TRUE(c.out.empty() ? r.out.empty() : r.out.find(c.out) != std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Cases, NotesTest, ::testing::ValuesIn(kNotesCases),
                         [](const ::testing::TestParamInfo<NotesCase>& info) {
                             return info.param.name;
                         });

TEST(SummaryTest, SaysWhatAPanScanStreamCarries) {
    CliFolder folder;
    folder.AddPicture(".", "wide.tif", 720, 480);
    const CliResult r = folder.Run(
        "encode still/wide.tif -o wide.m2v --target 400000 --standard ntsc --aspect 16:9 "
        "--pan-scan -320");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("picture  720x480, NTSC 16:9 picture, 4:3 pan-scan window (540 of 720 "
                         "samples) at offset -320/16, interlaced"),
              std::string::npos)
        << r.out;
}

// Each name of --levels gives the stream of the library's level mode it stands for.
struct LevelsCase {
    const char* name;
    const char* option;
    int32_t levelMode;
};

void PrintTo(const LevelsCase& c, std::ostream* os) { *os << c.name; }

class LevelsTest : public ::testing::TestWithParam<LevelsCase> {};

TEST_P(LevelsTest, NamesTheLibrarysMode) {
    CliFolder folder;
    JobOptions options;
    options.levelMode = GetParam().levelMode;
    ASSERT_EQ(RunPictor(folder.dir.path, "good.tp", options).result, 0);
    const CliResult r =
        folder.Run(std::string("run good.tp -q --stream s.m2v --levels ") + GetParam().option);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(folder.Text("s.m2v"), folder.Text("good.ts"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, LevelsTest,
    ::testing::Values(LevelsCase{"Video", "video", 0}, LevelsCase{"Studio", "studio", 2},
                      LevelsCase{"StudioWide", "studio-wide", 1}, LevelsCase{"Full", "full", 2},
                      LevelsCase{"FullWide", "full-wide", 1}),
    [](const ::testing::TestParamInfo<LevelsCase>& info) { return std::string(info.param.name); });

}  // namespace
