// What the command measures of a finished stream, against the ffmpeg command's
// decode, in JSON for authoring tools; the stream through a pipe into ffmpeg;
// --no-measure; the preview.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "cli/cli_support.h"
#include "media/reference_planes.h"
#include "support/decoders.h"
#include "support/job_runner.h"

namespace {

// The test pattern as still/pattern.tif, made into the case's input by `make`;
// the planes that were coded come from that TIFF in the job's level mode.
struct MeasureCase {
    const char* name;
    int width, height;
    const char* make;
    std::string args;
    int levelMode;
};

void PrintTo(const MeasureCase& c, std::ostream* os) { *os << c.name; }

const MeasureCase kMeasures[] = {
    {"ConvertedPng", 720, 480, "convert still/pattern.tif png24:pattern.png",
     "encode pattern.png -o out.m2v --target 300000 --standard ntsc --aspect 4:3", 0},
    {"JobStudioWide", 352, 288,
     "printf 'SOURCE_FILE pattern.tif\\nTARGET_SIZE 300000\\nFRMRT PAL\\nASPECT_RATIO 4:3\\n"
     "PAN_SCAN OFF\\n' > pattern.tp",
     "run pattern.tp --stream out.m2v --levels studio-wide", 1},
};

double Number(const std::string& json) {
    return json == "missing" ? -1000 : std::atof(json.c_str());
}

class Measured : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(Measured, PsnrAsFfmpegsDecodeGives) {
    const MeasureCase& c = GetParam();
    CliFolder folder;
    folder.AddPicture(".", "pattern.tif", c.width, c.height);
    ASSERT_TRUE(folder.Make(c.make));
    // --json -: the JSON alone on standard output, the summary on standard error.
    const CliResult r = folder.Run(c.args + " --json - > report.json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("quality  PSNR Y "), std::string::npos) << r.err;
    const std::string json = folder.dir / "report.json";
    EXPECT_EQ(JsonResults(json), "finished");
    EXPECT_EQ(JsonField(json, "bits"), std::to_string(folder.Text("out.m2v").size() * 8));

    YuvPlanes coded;
    std::string error;
    ASSERT_TRUE(
        ReferencePlanesFromTiff(folder.dir / "still/pattern.tif", c.levelMode, &coded, &error))
        << error;
    const DecoderVerdict verdict = DecodeStream(folder.dir / "out.m2v", c.width, c.height);
    ASSERT_EQ(DecoderProblems(verdict, c.width, c.height), "");
    const DecodedPicture& ff = verdict.mpeg2dec;
    const double y = Psnr(coded.y.data(), ff.y.data(), ff.y.size());
    const double cb = Psnr(coded.cb.data(), ff.cb.data(), ff.cb.size());
    const double cr = Psnr(coded.cr.data(), ff.cr.data(), ff.cr.size());
    EXPECT_NEAR(Number(JsonField(json, "psnr.y")), y, 0.01);
    EXPECT_NEAR(Number(JsonField(json, "psnr.cb")), cb, 0.01);
    EXPECT_NEAR(Number(JsonField(json, "psnr.cr")), cr, 0.01);
    EXPECT_NEAR(Number(JsonField(json, "psnr.average")), (6 * y + cb + cr) / 8, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Jobs, Measured, ::testing::ValuesIn(kMeasures),
                         [](const ::testing::TestParamInfo<MeasureCase>& info) {
                             return std::string(info.param.name);
                         });

const std::string kEncode = kEncodeSettings;

// The stream goes down a pipe into ffmpeg, which finds its format by itself;
// the summary and its quality go to standard error.
TEST(QualityTest, StreamThroughAPipeIntoFfmpeg) {
    CliFolder folder;
    const CliResult r =
        folder.Run("encode still/pic.tif -o -" + kEncode, "{",
                   "; echo $? > pictor.status; } | ffmpeg -nostdin -v error -i - -f rawvideo "
                   "-pix_fmt yuv420p pic.yuv > ffmpeg.txt 2>&1");
    EXPECT_EQ(folder.Text("pictor.status"), "0\n");
    EXPECT_EQ(folder.Text("ffmpeg.txt"), "");
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("wrote standard output"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("quality  PSNR Y "), std::string::npos) << r.err;
    EXPECT_EQ(folder.Text("pic.yuv").size(), size_t{96 * 64 * 3 / 2});
}

// --no-measure: the summary and the JSON without the quality.
TEST(QualityTest, NotMeasured) {
    CliFolder folder;
    const CliResult r = folder.Run("run good.tp --no-measure --json report.json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("  time     "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("PSNR"), std::string::npos) << r.out;
    EXPECT_EQ(JsonField(folder.dir / "report.json", "psnr"), "missing");
}

TEST(PreviewTest, ShowsTheDecodedPicture) {
    CliFolder folder;
    const CliResult r = folder.Run("encode still/pic.tif -o p.m2v -q --preview p.png" + kEncode);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(folder.NewNames(), "p.m2v p.png");
    ASSERT_TRUE(
        folder.Make("convert p.png -depth 8 rgb:p.rgb && "
                    "convert still/pic.tif -depth 8 rgb:source.rgb"));
    const std::vector<uint8_t> preview = ReadFileBytes(folder.dir / "p.rgb");
    const std::vector<uint8_t> source = ReadFileBytes(folder.dir / "source.rgb");
    ASSERT_EQ(preview.size(), size_t{96 * 64 * 3});
    ASSERT_EQ(source.size(), preview.size());
    EXPECT_GT(Psnr(preview.data(), source.data(), source.size()), 28.0);
}

}  // namespace
