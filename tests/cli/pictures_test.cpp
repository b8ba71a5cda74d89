// pictor encode on the pictures people have: each way a picture reaches the
// library (a TIFF as it is, a TIFF, PNG or JPEG converted) and each setting
// give the library's own stream of the same job; alpha over --background.
// Decoding itself is the media module's to test.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "support/decoders.h"
#include "support/job_runner.h"

namespace {

const std::string kEncode = kEncodeSettings;

const std::string kSaturated =
    "convert -size 96x64 gradient:red-blue -type TrueColor -depth 8 -compress none still/pic.tif";
const std::string kGoodJob = std::string("SOURCE_FILE pic.tif\n") + kJobSettings;

// `pictor encode ARGS` against the library alone on the job file `job` (its
// picture in still/) with the switches `levelMode` and `extended`. make: shell
// text making the case's picture from still/pic.tif (the test pattern, 96x64,
// uncompressed RGB). exact: the picture holds the same RGB, so the streams are
// the same byte for byte; otherwise the 96x64 streams decode close to each
// other. converted: what the summary says of the picture ("" when handed to
// the library as it is).
struct EncodeCase {
    const char* name;
    std::string make, args, job;
    int32_t levelMode, extended;
    bool exact;
    const char* converted;
};

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }

const EncodeCase kEncodes[] = {
    // Each way a picture reaches the library. --fit is given too: a picture of
    // a size the job takes is coded as it is.
    {"TiffAsItIs", "cp still/pic.tif as-is.tif", "as-is.tif --fit pad" + kEncode, kGoodJob, 0, 0,
     true, ""},
    {"TiffLzw", "tiffcp -c lzw still/pic.tif lzw.tif", "lzw.tif --fit pad" + kEncode, kGoodJob, 0,
     0, true, "TIFF 96x64"},
    {"PngRgba", "convert still/pic.tif -alpha set png32:pic.png", "pic.png --fit crop" + kEncode,
     kGoodJob, 0, 0, true, "PNG 96x64"},
    {"Jpeg", "convert still/pic.tif -quality 92 pic.jpg", "pic.jpg" + kEncode, kGoodJob, 0, 0,
     false, "JPEG 96x64"},
    // Each name of --levels stands for the library's level mode; the picture's
    // colours lie where the modes clip them apart.
    {"LevelsVideo", kSaturated, "still/pic.tif --levels video" + kEncode, kGoodJob, 0, 0, true, ""},
    {"LevelsStudio", kSaturated, "still/pic.tif --levels studio" + kEncode, kGoodJob, 2, 0, true,
     ""},
    {"LevelsStudioWide", kSaturated, "still/pic.tif --levels studio-wide" + kEncode, kGoodJob, 1, 0,
     true, ""},
    {"LevelsFull", kSaturated, "still/pic.tif --levels full" + kEncode, kGoodJob, 2, 0, true, ""},
    {"LevelsFullWide", kSaturated, "still/pic.tif --levels full-wide" + kEncode, kGoodJob, 1, 0,
     true, ""},
    // The other settings.
    {"PalWidePanScanExtended", "cp '" PICTOR_SOURCE_DIR "/examples/still/astronaut.tif' still",
     "still/astronaut.tif --target 1200000 --standard pal --aspect 16:9 --pan-scan -32 --extended",
     "SOURCE_FILE astronaut.tif\nTARGET_SIZE 1200000\nFRMRT PAL\nASPECT_RATIO 16:9\n"
     "PAN_SCAN ON\nPAN_SCAN_VECTOR -32\n",
     0, 1, true, ""},
};

class Encode : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(Encode, GivesTheLibrarysStreamOfTheSameJob) {
    const EncodeCase& c = GetParam();
    CliFolder folder;
    if (!c.make.empty()) {
        ASSERT_TRUE(folder.Make(c.make));
    }
    const CliResult r = folder.Run("encode " + c.args + " -o cli.m2v -q --json cli.json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(folder.NewNames(), "cli.json cli.m2v");
    EXPECT_TRUE(folder.TmpIsEmpty());
    const std::string converted = std::string("\"converted from ") + c.converted + "\"";
    EXPECT_EQ(JsonField(folder.dir / "cli.json", "converted"),
              c.converted[0] == '\0' ? "missing" : converted);

    folder.Add("alone.tp", c.job);
    JobOptions options;
    options.levelMode = c.levelMode;
    options.extendedAnalysis = c.extended;
    const JobOutcome alone = RunPictor(folder.dir.path, "alone.tp", options);
    ASSERT_EQ(alone.result, 0) << alone.errorText;
    if (c.exact) {
        EXPECT_EQ(folder.Text("cli.m2v"), folder.Text("alone.ts"));
    } else {
        const DecoderVerdict cli = DecodeStream(folder.dir / "cli.m2v", 96, 64);
        const DecoderVerdict plain = DecodeStream(folder.dir / "alone.ts", 96, 64);
        ASSERT_EQ(DecoderProblems(cli, 96, 64), "");
        ASSERT_EQ(plain.ffmpeg.y.size(), cli.ffmpeg.y.size());
        EXPECT_GT(Psnr(plain.ffmpeg.y.data(), cli.ffmpeg.y.data(), cli.ffmpeg.y.size()), 30.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, Encode, ::testing::ValuesIn(kEncodes),
                         [](const ::testing::TestParamInfo<EncodeCase>& info) {
                             return std::string(info.param.name);
                         });

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
