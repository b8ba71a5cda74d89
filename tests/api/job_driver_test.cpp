// Where a job finds its files and writes its stream, through both entry points.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>

#include "api/job_driver.h"
#include "messages/report.h"
#include "pictor/pictor.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/state.h"

namespace {

const char kSmallJob[] = "SOURCE_FILE pic.tif\nTARGET_SIZE 400000\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";

class JobDriverTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAllState(); }
    void TearDown() override { ResetAllState(); }
    // A work folder under the temporary root holding a small job and its picture.
    std::string MakeJob(const std::string& folder, const std::string& jobName) {
        std::string dir = root_.path + (folder.empty() ? "" : "/" + folder);
        RunCommand("mkdir -p '" + dir + "'");
        WriteStillPicture(dir, "pic.tif", 96, 64);
        WriteFileText(dir + "/" + jobName, kSmallJob);
        return dir;
    }
    void ExpectGoodStream(const std::string& path) {
        ASSERT_TRUE(FileExists(path)) << path;
        EXPECT_EQ(DecoderProblems(DecodeStream(path, 96, 64), 96, 64), "") << path;
    }
    TempDir root_;
};

struct PathCase {
    const char* name;
    const char* folder;
    const char* jobName;
    const char* stream;   // relative to the root
    const char* picture;  // the picture name that messages cite, relative to the root
};

const PathCase kPathCases[] = {
    {"BesideTheJobFile", "proj", "menu1.tp", "proj/menu1.ts", "proj/menu1.tif"},
    {"TpInsideAFolderNameCutsThere", "x.tpl", "b.tp", "x.ts", "x.tif"},
    {"NoTpKeepsTheWholePath", "a", "b.txt", "a/b.txt.ts", "a/b.txt.tif"},
    {"TheFirstTpOfTheNameCounts", "a", "menu.tpx.tp", "a/menu.ts", "a/menu.tif"},
};

class StreamPathTest : public JobDriverTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(StreamPathTest, PictorWritesAtTheStem) {
    const PathCase& c = GetParam();
    std::string dir = MakeJob(c.folder, c.jobName);
    JobOutcome out = RunPictor(dir, c.jobName);
    EXPECT_EQ(out.result, 0) << out.errorText;
    EXPECT_EQ(out.errorText, "");
    ExpectGoodStream(root_ / c.stream);
    EXPECT_EQ(std::string(gSwitches.pictureName), root_ / c.picture);
    EXPECT_EQ(std::string(gSwitches.jobFileName), c.jobName);
}

TEST_P(StreamPathTest, PictorForDAWithoutStreamPathRunsAsPictor) {
    const PathCase& c = GetParam();
    std::string dir = MakeJob(c.folder, c.jobName);
    EXPECT_EQ(PictorForDA(dir.c_str(), c.jobName, "", 1), 0) << gReporter.errorText;
    ExpectGoodStream(root_ / c.stream);
}

INSTANTIATE_TEST_SUITE_P(Cases, StreamPathTest, ::testing::ValuesIn(kPathCases),
                         [](const ::testing::TestParamInfo<PathCase>& info) { return info.param.name; });

TEST_F(JobDriverTest, PictorForDAWritesExactlyWhereTheStreamPathSays) {
    std::string dir = MakeJob("w.tpl", "menu1.tp");
    RunCommand("mkdir -p '" + root_.path + "/out.tp'");
    std::string jobPath = dir + "/menu1.tp";
    std::string stream = root_ / "out.tp/picture.m2v";
    EXPECT_EQ(PictorForDA(dir.c_str(), jobPath.c_str(), stream.c_str(), 0), 0) << gReporter.errorText;
    ExpectGoodStream(stream);
    EXPECT_FALSE(FileExists(root_ / "w.ts"));
    EXPECT_FALSE(FileExists(dir + "/menu1.ts"));
    EXPECT_EQ(std::string(gSwitches.pictureName), root_ / "w.tif");
}

TEST_F(JobDriverTest, PictorForDATakesTheJobFileAsACompletePath) {
    // The picture comes from workDir/still, the job file from wherever it is named.
    std::string dir = MakeJob("work", "unused.tp");
    RunCommand("mkdir -p '" + root_.path + "/jobs'");
    WriteFileText(root_ / "jobs/menu.tp", kSmallJob);
    std::string jobPath = root_ / "jobs/menu.tp";
    std::string stream = root_ / "s.m2v";
    EXPECT_EQ(PictorForDA(dir.c_str(), jobPath.c_str(), stream.c_str(), 0), 0) << gReporter.errorText;
    ExpectGoodStream(stream);
    EXPECT_EQ(std::string(gSwitches.sourcePath), dir + "/still/pic.tif");
}

TEST_F(JobDriverTest, PictorForDAKeepsItsErrorTextInside) {
    std::string missing = root_ / "none.tp";
    EXPECT_EQ(PictorForDA(root_.path.c_str(), missing.c_str(), "x.m2v", 0), -1);
    EXPECT_EQ(std::string(gReporter.errorText), ErrorLine(2, "Cannot open <" + missing + "> "));
}

// The job parameter file path may be 256 characters long, not one more.
TEST_F(JobDriverTest, PathLengthLimit) {
    // root + "/" + folder + "/" + name: the folder pads the path to the length wanted.
    const size_t fixed = root_.path.size() + 2;
    std::string folder(256 - fixed - std::strlen("j.tp"), 'd');
    std::string dir = MakeJob(folder, "j.tp");
    WriteFileText(dir + "/jj.tp", kSmallJob);
    ASSERT_EQ((dir + "/j.tp").size(), 256u);

    JobOutcome out = RunPictor(dir, "j.tp");
    EXPECT_EQ(out.result, 0) << out.errorText;
    EXPECT_TRUE(FileExists(dir + "/j.ts"));

    out = RunPictor(dir, "jj.tp");
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(out.status, -1);
    EXPECT_EQ(out.progress, 100);
    EXPECT_EQ(out.errorText, ErrorLine(47, "Input file name is too long <jj.tp>"));
    EXPECT_FALSE(FileExists(dir + "/jj.ts"));

    std::string longPath = dir + "/jj.tp";
    EXPECT_EQ(PictorForDA(dir.c_str(), longPath.c_str(), (root_ / "s.m2v").c_str(), 0), -1);
    EXPECT_EQ(std::string(gReporter.errorText), ErrorLine(47, "Input file name is too long <" + longPath + ">"));
}

TEST_F(JobDriverTest, PictorIgnoresAndClearsTheCallersStreamPath) {
    std::string dir = MakeJob("p", "menu1.tp");
    auto context = std::make_unique<JobContext>();
    std::memset(context.get(), 0, sizeof(JobContext));
    char errorText[1024];
    std::strcpy(errorText, "left over from an earlier job\n");
    context->errorText = errorText;
    std::snprintf(context->workDir, sizeof context->workDir, "%s", dir.c_str());
    std::snprintf(context->jobFileName, sizeof context->jobFileName, "menu1.tp");
    std::snprintf(context->streamPath, sizeof context->streamPath, "%s", (root_ / "elsewhere.m2v").c_str());
    EXPECT_EQ(Pictor(context.get()), 0);
    EXPECT_STREQ(errorText, "");
    EXPECT_FALSE(FileExists(root_ / "elsewhere.m2v"));
    ExpectGoodStream(dir + "/menu1.ts");
    for (char c : context->streamPath) ASSERT_EQ(c, '\0');
}

TEST_F(JobDriverTest, AnEmptyWorkDirJoinsWithASlash) {
    JobOutcome out = RunPictor("", "pictor-no-such-job.tp");
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(out.errorText, ErrorLine(2, "Cannot open </pictor-no-such-job.tp> "));
}

// Fields that fill their whole width carry no terminating zero; the path is
// then far too long, and nothing is read beyond the fields.
TEST_F(JobDriverTest, UnterminatedContextFieldsAreTooLong) {
    auto context = std::make_unique<JobContext>();
    std::memset(context.get(), 0, sizeof(JobContext));
    char errorText[1024];
    context->errorText = errorText;
    std::memset(context->workDir, 'w', sizeof context->workDir);
    std::memset(context->jobFileName, 'j', sizeof context->jobFileName);
    std::memset(context->streamPath, 's', sizeof context->streamPath);
    context->extendedAnalysis = 0x7777;  // the field after jobFileName stays out of the name
    EXPECT_EQ(Pictor(context.get()), -1);
    EXPECT_EQ(std::string(errorText), ErrorLine(47, "Input file name is too long <" + std::string(263, 'j') + ">"));
}

}  // namespace
