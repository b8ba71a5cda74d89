// The pictor command as people and scripts call it.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "support/decoders.h"
#include "support/files.h"
#include "support/job_runner.h"

namespace {

const std::string kJob = "TARGET_SIZE 200000\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
const std::string kEncode = " --target 200000 --standard ntsc --aspect 4:3";

// Run in a folder holding still/pic.tif (96x64), good.tp, gone.tp, notes.tif and old.m2v.
// status: 0 done, 1 the job failed, 64 a usage error. out, err: what standard output and standard
// error contain (empty: nothing at all). stream: the 96x64 stream a good run writes.
struct CliCase {
    const char* name;
    std::string args;
    int status;
    std::string out, err;
    const char* stream;
};

const CliCase kCliCases[] = {
    {"Help", "--help", 0, "pictor encode", "", nullptr},
    {"Version", "--version", 0, "pictor ", "", nullptr},
    {"NoArguments", "", 64, "", "Usage: pictor run", nullptr},
    {"BadTarget", "encode x.tif -o o.m2v --target 1.2M", 64, "", "--target takes a number of bits",
     nullptr},
    {"RunWritesBesideTheJobFile", "run good.tp", 0, "wrote good.ts", "100%", "good.ts"},
    {"RunToAStreamPath", "run good.tp -q --stream out.m2v", 0, "", "", "out.m2v"},
    // Messages name the job's own folder, not pictor's private one.
    {"RunToAStreamPathFailing", "run gone.tp -q --stream=out2.m2v", 1, "",
     ErrorLine(13, "Cannot open TIFF source file <./still/gone.tif>"), nullptr},
    {"Encode", "encode still/pic.tif -o new.m2v" + kEncode, 0, "wrote new.m2v", "100%", "new.m2v"},
    // A failed encode leaves an existing output as it was.
    {"EncodeNotATiff", "encode notes.tif -o old.m2v -q" + kEncode, 1, "",
     ErrorLine(19, "<notes.tif> is not supported types image, or header is wrong. "), nullptr},
    {"EncodeMismatch",
     "encode still/pic.tif -o old.m2v -q --target 200000 --standard pal --aspect 4:3", 1, "",
     ErrorLine(44, "Mismatch between Image Size '96x64' and FRMRT 'PAL'. <still/pic.tif>"),
     nullptr},
    {"EncodeToAMissingFolder", "encode still/pic.tif -o no/o.m2v" + kEncode, 1, "",
     "cannot write no/o.m2v", nullptr},
};

void PrintTo(const CliCase& c, std::ostream* os) { *os << c.name; }

class CliTest : public ::testing::TestWithParam<CliCase> {
protected:
    TempDir dir_, tmp_;
};

TEST_P(CliTest, ExitsAndSaysAsExpected) {
    const CliCase& c = GetParam();
    WriteStillPicture(dir_.path, "pic.tif", 96, 64);
    WriteFileText(dir_ / "good.tp", "SOURCE_FILE pic.tif\n" + kJob);
    WriteFileText(dir_ / "gone.tp", "SOURCE_FILE gone.tif\n" + kJob);
    WriteFileText(dir_ / "notes.tif", "not a picture\n");
    WriteFileText(dir_ / "old.m2v", "earlier stream");
    std::string out;
    const int status = RunCommand("cd '" + dir_.path + "' && TMPDIR='" + tmp_.path +
                                      "' '" PICTOR_CLI_PATH "' " + c.args + " 2>stderr.txt",
                                  &out);
    auto text = [&](const char* name) {
        auto b = ReadFileBytes(dir_ / name);
        return std::string(b.begin(), b.end());
    };
    const std::string err = text("stderr.txt");
    EXPECT_EQ(status, c.status) << err;
    EXPECT_TRUE(c.out.empty() ? out.empty() : out.find(c.out) != std::string::npos) << out;
    EXPECT_TRUE(c.err.empty() ? err.empty() : err.find(c.err) != std::string::npos) << err;
    EXPECT_EQ(text("old.m2v"), "earlier stream");
    EXPECT_TRUE(std::filesystem::is_empty(tmp_.path));  // pictor cleans up its temporary folder
    if (c.stream != nullptr) {
        EXPECT_EQ(DecoderProblems(DecodeStream(dir_ / c.stream, 96, 64), 96, 64), "");
    }
    EXPECT_EQ(FileExists(dir_ / "good.ts"), c.args == "run good.tp");
    EXPECT_FALSE(FileExists(dir_ / "gone.ts") || FileExists(dir_ / "out2.m2v"));
}

INSTANTIATE_TEST_SUITE_P(Cases, CliTest, ::testing::ValuesIn(kCliCases),
                         [](const ::testing::TestParamInfo<CliCase>& info) {
                             return info.param.name;
                         });

}  // namespace
