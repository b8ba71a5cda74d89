// pictor encode on the pictures people have: each way a picture reaches the
// library (a TIFF as it is, a TIFF, PNG or JPEG converted) coded by one call
// and decoded silently; encode's settings as a job file's; alpha over
// --background. Decoding itself is the media module's to test.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "support/decoders.h"
#include "support/job_runner.h"

namespace {

const std::string kEncode = kEncodeSettings;

// One picture form, made in a CliFolder from still/pic.tif (the test pattern,
// 96x64, uncompressed RGB) into `file`. exact: it holds the same RGB, so its
// stream is pic.tif's byte for byte; otherwise it decodes close to it.
// converted: what the summary says of it ("" when handed as it is).
struct FormCase {
    const char* name;
    const char* make;
    const char* file;
    bool exact;
    const char* converted;
};

void PrintTo(const FormCase& c, std::ostream* os) { *os << c.name; }

const FormCase kForms[] = {
    {"TiffAsItIs", "cp still/pic.tif as-is.tif", "as-is.tif", true, ""},
    {"TiffLzw", "tiffcp -c lzw still/pic.tif lzw.tif", "lzw.tif", true, "TIFF"},
    {"PngRgba", "convert still/pic.tif -alpha set png32:pic.png", "pic.png", true, "PNG"},
    {"Jpeg", "convert still/pic.tif -quality 92 pic.jpg", "pic.jpg", false, "JPEG"},
};

class PictureForms : public ::testing::TestWithParam<FormCase> {};

// --fit is given too: a picture of a size the job takes is coded as it is.
TEST_P(PictureForms, ReachTheLibraryAndDecode) {
    const FormCase& c = GetParam();
    CliFolder folder;
    ASSERT_TRUE(folder.Make(c.make));
    const CliResult r = folder.Run(std::string("encode ") + c.file +
                                   " -o pic.m2v -q --fit pad --json pic.json" + kEncode);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(folder.NewNames(), "pic.json pic.m2v");
    EXPECT_TRUE(folder.TmpIsEmpty());
    const DecoderVerdict verdict = DecodeStream(folder.dir / "pic.m2v", 96, 64);
    ASSERT_EQ(DecoderProblems(verdict, 96, 64), "");
    const std::string said = std::string("\"converted from ") + c.converted + " 96x64\"";
    EXPECT_EQ(JsonField(folder.dir / "pic.json", "converted"),
              c.converted[0] == '\0' ? "missing" : said);

    ASSERT_EQ(RunPictor(folder.dir.path, "good.tp", JobOptions()).result, 0);
    if (c.exact) {
        EXPECT_EQ(folder.Text("pic.m2v"), folder.Text("good.ts"));
    } else {
        const DecoderVerdict plain = DecodeStream(folder.dir / "good.ts", 96, 64);
        ASSERT_EQ(plain.ffmpeg.y.size(), verdict.ffmpeg.y.size());
        EXPECT_GT(Psnr(plain.ffmpeg.y.data(), verdict.ffmpeg.y.data(), plain.ffmpeg.y.size()),
                  30.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, PictureForms, ::testing::ValuesIn(kForms),
                         [](const ::testing::TestParamInfo<FormCase>& info) {
                             return std::string(info.param.name);
                         });

// Every setting of encode, as a job file and switches give it to the library
// alone: the same stream.
TEST(EncodeSettings, GiveTheStreamOfTheSameJobFile) {
    CliFolder folder;
    folder.AddPicture(".", "wide.tif", 720, 576);
    const CliResult r = folder.Run(
        "encode still/wide.tif -o cli.m2v -q --target 1200000 --standard pal --aspect 16:9 "
        "--pan-scan -32 --extended --levels studio-wide");
    ASSERT_EQ(r.status, 0) << r.err;
    folder.Add("alone.tp",
               "SOURCE_FILE wide.tif\nTARGET_SIZE 1200000\nFRMRT PAL\nASPECT_RATIO 16:9\n"
               "PAN_SCAN ON\nPAN_SCAN_VECTOR -32\n");
    JobOptions options;
    options.extendedAnalysis = 1;
    options.levelMode = 1;
    const JobOutcome alone = RunPictor(folder.dir.path, "alone.tp", options);
    ASSERT_EQ(alone.result, 0) << alone.errorText;
    EXPECT_EQ(folder.Text("cli.m2v"), folder.Text("alone.ts"));
}

// A wholly transparent PNG: what shows is the background, at video levels.
struct BackgroundCase {
    const char* name;
    const char* option;
    int y, cb, cr;  // BT.601 at video levels
};

void PrintTo(const BackgroundCase& c, std::ostream* os) { *os << c.name; }

const BackgroundCase kBackgrounds[] = {
    {"BlackByDefault", "", 16, 128, 128},
    {"White", "--background white", 235, 128, 128},
    {"Red", "--background '#FF0000'", 81, 90, 240},
};

double Mean(const std::vector<uint8_t>& plane) {
    double sum = 0;
    for (uint8_t v : plane) sum += v;
    return plane.empty() ? -1 : sum / static_cast<double>(plane.size());
}

class Background : public ::testing::TestWithParam<BackgroundCase> {};

TEST_P(Background, ShowsWhereThePictureIsTransparent) {
    const BackgroundCase& c = GetParam();
    CliFolder folder;
    ASSERT_TRUE(folder.Make("convert -size 96x64 'xc:rgba(90,200,30,0)' png32:clear.png"));
    const CliResult r =
        folder.Run(std::string("encode clear.png -o clear.m2v -q ") + c.option + kEncode);
    ASSERT_EQ(r.status, 0) << r.err;
    const DecoderVerdict verdict = DecodeStream(folder.dir / "clear.m2v", 96, 64);
    ASSERT_EQ(DecoderProblems(verdict, 96, 64), "");
    EXPECT_NEAR(Mean(verdict.ffmpeg.y), c.y, 1.5);
    EXPECT_NEAR(Mean(verdict.ffmpeg.cb), c.cb, 1.5);
    EXPECT_NEAR(Mean(verdict.ffmpeg.cr), c.cr, 1.5);
}

INSTANTIATE_TEST_SUITE_P(Colours, Background, ::testing::ValuesIn(kBackgrounds),
                         [](const ::testing::TestParamInfo<BackgroundCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
