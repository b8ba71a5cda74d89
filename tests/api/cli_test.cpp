// The pictor command as people and scripts call it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/decoders.h"
#include "support/files.h"
#include "support/job_runner.h"

namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    // Runs the pictor command with `args` (shell words) in the test folder, with its own TMPDIR.
    CliRun Command(const std::string& args) {
        RunCommand("mkdir -p '" + tmp_.path + "'");
        std::string command = "cd '" + dir_.path + "' && TMPDIR='" + tmp_.path + "' '" PICTOR_CLI_PATH "' " + args +
                              " 2>'" + (dir_ / "stderr.txt") + "'";
        CliRun run;
        run.status = RunCommand(command, &run.out);
        std::vector<uint8_t> err = ReadFileBytes(dir_ / "stderr.txt");
        run.err.assign(err.begin(), err.end());
        return run;
    }
    // True when pictor left nothing in its temporary folder.
    bool TmpIsEmpty() {
        std::string listing;
        RunCommand("ls -A '" + tmp_.path + "'", &listing);
        return listing.empty();
    }
    TempDir dir_;
    TempDir tmp_;
};

struct UsageCase {
    const char* name;
    const char* args;
    const char* says;
};

const UsageCase kUsageCases[] = {
    {"NoArguments", "", "Usage: pictor run"},
    {"UnknownCommand", "play x.tp", "unknown command 'play'"},
    {"RunWithoutJobFile", "run", "run needs a job parameter file"},
    {"RunWithTwoJobFiles", "run a.tp b.tp", "run takes one job parameter file"},
    {"RunUnknownOption", "run a.tp --fast", "unknown option '--fast'"},
    {"StreamWithoutPath", "run a.tp --stream", "--stream needs a value"},
    {"BadLevels", "run a.tp --levels=hdr", "--levels takes video, full or full-wide, not 'hdr'"},
    {"EncodeWithoutOutput", "encode p.tif --target 900000 --standard pal --aspect 4:3", "needs -o OUT"},
    {"EncodeWithoutTarget", "encode p.tif -o o.m2v --standard pal --aspect 4:3", "needs --target BITS"},
    {"EncodeBadTarget", "encode p.tif -o o.m2v --target 1.2M --standard pal --aspect 4:3",
     "--target takes a number of bits, not '1.2M'"},
    {"EncodeBadStandard", "encode p.tif -o o.m2v --target 900000 --standard secam --aspect 4:3",
     "--standard takes pal or ntsc, not 'secam'"},
    {"EncodeBadAspect", "encode p.tif -o o.m2v --target 900000 --standard pal --aspect 2.35",
     "--aspect takes 4:3 or 16:9, not '2.35'"},
    {"PanScanNeedsWide", "encode p.tif -o o.m2v --target 900000 --standard pal --aspect 4:3 --pan-scan 16",
     "--pan-scan needs --aspect 16:9"},
};

class CliUsageTest : public CliTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(CliUsageTest, ExitsWith64AndSaysWhy) {
    CliRun run = Command(GetParam().args);
    EXPECT_EQ(run.status, 64);
    EXPECT_NE(run.err.find(GetParam().says), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, CliUsageTest, ::testing::ValuesIn(kUsageCases),
                         [](const ::testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

TEST_F(CliTest, HelpAndVersion) {
    CliRun help = Command("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Examples:"), std::string::npos);
    EXPECT_NE(help.out.find("pictor encode"), std::string::npos);
    CliRun version = Command("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("pictor ", 0), 0u) << version.out;
}

TEST_F(CliTest, AFailingJobPrintsItsErrorText) {
    WriteFileText(dir_ / "menu.tp", "FRMRT pal\nTARGET_SIZE 200000\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n");
    CliRun run = Command("run menu.tp");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(ErrorLine(33, "Invalid FRMRT: pal <menu.tp> ") +
                           ErrorLine(42, "SOURCE_FILE is not specified <menu.tp>")),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(FileExists(dir_ / "menu.ts"));
}

TEST_F(CliTest, RunWritesBesideTheJobFileAndSaysWhat) {
    WriteStillPicture(dir_.path, "pic.tif", 176, 144);
    WriteFileText(dir_ / "menu.tp", "SOURCE_FILE pic.tif\nTARGET_SIZE 300000\nFRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n");
    CliRun run = Command("run menu.tp");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("wrote menu.ts\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("of the target 300000 bits"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("176x144, PAL 4:3"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("100%"), std::string::npos) << run.err;  // plain progress lines off a terminal
    EXPECT_EQ(DecoderProblems(DecodeStream(dir_ / "menu.ts", 176, 144), 176, 144), "");
}

TEST_F(CliTest, RunToAStreamPathWritesOnlyThere) {
    WriteStillPicture(dir_.path, "pic.tif", 96, 64);
    WriteFileText(dir_ / "menu.tp", "SOURCE_FILE pic.tif\nTARGET_SIZE 200000\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n");
    CliRun run = Command("run menu.tp --quiet --stream out.m2v");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_FALSE(FileExists(dir_ / "menu.ts"));
    EXPECT_EQ(DecoderProblems(DecodeStream(dir_ / "out.m2v", 96, 64), 96, 64), "");
    EXPECT_TRUE(TmpIsEmpty());

    // Messages name the job's own folder, not pictor's private one.
    WriteFileText(dir_ / "menu.tp", "SOURCE_FILE gone.tif\nTARGET_SIZE 200000\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n");
    run = Command("run menu.tp -q --stream=out2.m2v");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ErrorLine(13, "Cannot open TIFF source file <./still/gone.tif>") +
                           ErrorLine(13, "Cannot open TIFF source file <./still/gone.tif>"));
    EXPECT_FALSE(FileExists(dir_ / "out2.m2v"));
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(CliTest, EncodeWithoutAJobFile) {
    WriteFileBytes(dir_ / "photo.tif", ReadFileBytes(TestDataPath("../examples/still/astronaut.tif")));
    CliRun run = Command("encode photo.tif -o photo.m2v --target 1000000 --standard PAL --aspect 16:9 --pan-scan -320");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("wrote photo.m2v"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("720x576, PAL 4:3"), std::string::npos) << run.out;  // pan-scan codes a 4:3 window
    std::vector<uint8_t> stream = ReadFileBytes(dir_ / "photo.m2v");
    EXPECT_LE(stream.size() * 8, 1000000u * 11 / 10);
    EXPECT_EQ(DecoderProblems(DecodeStream(dir_ / "photo.m2v", 720, 576), 720, 576), "");
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(CliTest, AFailedEncodeLeavesTheOutputAlone) {
    WriteFileText(dir_ / "notes.tif", "not a picture\n");
    WriteFileText(dir_ / "old.m2v", "earlier stream");
    CliRun run = Command("encode notes.tif -o old.m2v --target 900000 --standard ntsc --aspect 4:3 -q");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ErrorLine(19, "<notes.tif> is not supported types image, or header is wrong. "));
    std::vector<uint8_t> old = ReadFileBytes(dir_ / "old.m2v");
    EXPECT_EQ(std::string(old.begin(), old.end()), "earlier stream");
    EXPECT_TRUE(TmpIsEmpty());

    // Without a job file of the user's, the job-file messages name the picture.
    WriteFileBytes(dir_ / "photo.tif", ReadFileBytes(TestDataPath("../examples/still/astronaut.tif")));
    run = Command("encode photo.tif -o old.m2v --target 900000 --standard ntsc --aspect 4:3 -q");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ErrorLine(45, "Mismatch between Image Size '720x576' and FRMRT 'NTSC'. <photo.tif>"));
    old = ReadFileBytes(dir_ / "old.m2v");
    EXPECT_EQ(std::string(old.begin(), old.end()), "earlier stream");

    run = Command("encode notes.tif -o missing/out.m2v --target 900000 --standard ntsc --aspect 4:3");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write missing/out.m2v"), std::string::npos) << run.err;
}

// Ctrl-C while the job waits for its job parameter file (a pipe that the test
// fills only once pictor has taken the interrupt): the job stops at its first
// cancellation point.
TEST_F(CliTest, CtrlCCancelsTheJob) {
    WriteStillPicture(dir_.path, "pic.tif", 96, 64);
    const std::string script = R"(
set -u
cd "$1"
mkfifo menu.tp
"$2" run menu.tp 2>stderr.txt &
pid=$!
for i in $(seq 200); do grep -q '%' stderr.txt && break; sleep 0.05; done
kill -INT $pid
for i in $(seq 200); do grep -q cancelling stderr.txt && break; sleep 0.05; done
printf 'SOURCE_FILE pic.tif\nTARGET_SIZE 200000\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n' >menu.tp
wait $pid
echo "exit $?"
)";
    WriteFileText(dir_ / "cancel.sh", script);
    std::string out;
    RunCommand("timeout 60 bash '" + dir_.path + "/cancel.sh' '" + dir_.path + "' '" PICTOR_CLI_PATH "'", &out);
    EXPECT_EQ(out, "exit 2\n");
    std::vector<uint8_t> err = ReadFileBytes(dir_ / "stderr.txt");
    EXPECT_NE(std::string(err.begin(), err.end()).find("pictor: cancelled"), std::string::npos);
    EXPECT_FALSE(FileExists(dir_ / "menu.ts"));
}

}  // namespace
