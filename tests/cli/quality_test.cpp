// What the command measures of a finished stream, against an independent
// computation from the ffmpeg command's decode; the stream through a pipe
// into ffmpeg; JSON for authoring tools; the preview.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "cli/cli_support.h"
#include "media/reference_planes.h"
#include "support/decoders.h"
#include "support/job_runner.h"
#include "support/tiff_writer.h"

namespace {

// picture: "astronaut" (720x576, coded as it is), "pattern-png" (the tests'
// pattern as a PNG, converted by the command) or "pattern-job" (the pattern as
// a job file's TIFF, through pictor run). The planes that were coded come from
// `tiff`, a TIFF holding the same RGB, in the job's level mode.
struct MeasureCase {
    const char* name;
    const char* picture;
    int width, height;
    std::string args;
    int levelMode;
};

void PrintTo(const MeasureCase& c, std::ostream* os) { *os << c.name; }

const MeasureCase kMeasures[] = {
    {"AstronautAt600k", "astronaut", 720, 576,
     "encode astronaut.tif -o out.m2v --target 600000 --standard pal --aspect 4:3", 0},
    {"AstronautStudioLevels", "astronaut", 720, 576,
     "encode astronaut.tif -o out.m2v --target 1200000 --standard pal --aspect 4:3 --levels "
     "studio",
     2},
    {"PatternPng", "pattern-png", 720, 480,
     "encode pattern.png -o out.m2v --target 300000 --standard ntsc --aspect 4:3", 0},
    {"PatternJobStudioWide", "pattern-job", 352, 288,
     "run pattern.tp --stream out.m2v --levels studio-wide", 1},
};

std::string Astronaut() { return std::string(PICTOR_SOURCE_DIR) + "/examples/still/astronaut.tif"; }

// Makes the case's picture in `folder`; the TIFF to compute the coded planes from.
std::string MakePicture(const MeasureCase& c, CliFolder* folder) {
    const std::string picture = c.picture;
    if (picture == "astronaut") {
        folder->Make("cp '" + Astronaut() + "' astronaut.tif", {"astronaut.tif"});
        return folder->dir / "astronaut.tif";
    }
    const std::string tiff = folder->dir / "pattern.tif";
    WriteFileBytes(tiff, MakeRgbTiff(c.width, c.height, TestPatternRgb(c.width, c.height)));
    if (picture == "pattern-png") {
        folder->Make("convert pattern.tif png24:pattern.png", {"pattern.tif", "pattern.png"});
    } else {
        folder->Make("mkdir -p still && cp pattern.tif still/",
                     {"pattern.tif", "still/pattern.tif"});
        folder->Add("pattern.tp",
                    "SOURCE_FILE pattern.tif\nTARGET_SIZE 300000\nFRMRT PAL\n"
                    "ASPECT_RATIO 4:3\nPAN_SCAN OFF\n");
    }
    return tiff;
}

// Two planes as one raw 4:2:0 file, for ffmpeg's ssim filter.
void WriteYuv(const std::string& path, const std::vector<uint8_t>& y,
              const std::vector<uint8_t>& cb, const std::vector<uint8_t>& cr) {
    std::vector<uint8_t> bytes = y;
    bytes.insert(bytes.end(), cb.begin(), cb.end());
    bytes.insert(bytes.end(), cr.begin(), cr.end());
    WriteFileBytes(path, bytes);
}

// SSIM of luma as ffmpeg's ssim filter reports it.
double FfmpegSsimY(const std::string& a, const std::string& b, int width, int height) {
    const std::string raw = "-f rawvideo -pix_fmt yuv420p -s " + std::to_string(width) + "x" +
                            std::to_string(height) + " -i ";
    std::string out;
    RunCommand("ffmpeg -nostdin -hide_banner " + raw + "'" + a + "' " + raw + "'" + b +
                   "' -lavfi ssim -f null - 2>&1",
               &out);
    const size_t at = out.find("SSIM Y:");
    return at == std::string::npos ? -1.0 : std::atof(out.c_str() + at + 7);
}

double Number(const std::string& json) {
    return json == "missing" ? -1000 : std::atof(json.c_str());
}

class Measured : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(Measured, PsnrAndSsimAsFfmpegsDecodeGives) {
    const MeasureCase& c = GetParam();
    CliFolder folder;
    const std::string tiff = MakePicture(c, &folder);
    const CliResult r = folder.Run(c.args + " -q --json report.json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(folder.TmpIsEmpty());

    YuvPlanes coded;
    std::string error;
    ASSERT_TRUE(ReferencePlanesFromTiff(tiff, c.levelMode, &coded, &error)) << error;
    const DecoderVerdict verdict = DecodeStream(folder.dir / "out.m2v", c.width, c.height);
    ASSERT_EQ(DecoderProblems(verdict, c.width, c.height), "");
    const DecodedPicture& ff = verdict.ffmpeg;
    const double y = Psnr(coded.y.data(), ff.y.data(), ff.y.size());
    const double cb = Psnr(coded.cb.data(), ff.cb.data(), ff.cb.size());
    const double cr = Psnr(coded.cr.data(), ff.cr.data(), ff.cr.size());
    const std::string json = folder.dir / "report.json";
    EXPECT_NEAR(Number(JsonField(json, "psnr.y")), y, 0.01);
    EXPECT_NEAR(Number(JsonField(json, "psnr.cb")), cb, 0.01);
    EXPECT_NEAR(Number(JsonField(json, "psnr.cr")), cr, 0.01);
    EXPECT_NEAR(Number(JsonField(json, "psnr.average")), (6 * y + cb + cr) / 8, 0.01);

    TempDir scratch;
    WriteYuv(scratch / "coded.yuv", coded.y, coded.cb, coded.cr);
    WriteYuv(scratch / "decoded.yuv", ff.y, ff.cb, ff.cr);
    EXPECT_NEAR(Number(JsonField(json, "ssimY")),
                FfmpegSsimY(scratch / "decoded.yuv", scratch / "coded.yuv", c.width, c.height),
                1e-4);

    // Linear quantiser_scale, even, 2 to 62, read from the slice headers.
    const double low = Number(JsonField(json, "quantiser.min"));
    const double high = Number(JsonField(json, "quantiser.max"));
    EXPECT_GE(low, 2);
    EXPECT_LE(low, high);
    EXPECT_LE(high, 62);
    EXPECT_EQ(JsonField(json, "quantiser.from"), "\"slice headers\"");
}

INSTANTIATE_TEST_SUITE_P(Jobs, Measured, ::testing::ValuesIn(kMeasures),
                         [](const ::testing::TestParamInfo<MeasureCase>& info) {
                             return std::string(info.param.name);
                         });

const std::string kNtsc = " --target 300000 --standard ntsc --aspect 4:3";

// The stream goes down a pipe into ffmpeg; the summary and its quality go to standard error.
TEST(QualityTest, StreamThroughAPipeIntoFfmpeg) {
    CliFolder folder;
    folder.AddPicture(".", "menu.tif", 720, 480);
    ASSERT_TRUE(folder.Make("convert still/menu.tif png24:menu.png", {"menu.png"}));
    const CliResult r =
        folder.Run("encode menu.png -o -" + kNtsc, "{",
                   "; echo $? > pictor.status; } | ffmpeg -nostdin -v error -i - -f rawvideo "
                   "-pix_fmt yuv420p menu.yuv > ffmpeg.txt 2>&1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(folder.Text("pictor.status"), "0\n");
    EXPECT_EQ(folder.Text("ffmpeg.txt"), "");
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("wrote standard output"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("quality  PSNR Y "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("from the slice headers"), std::string::npos) << r.err;

    // What came through the pipe is the stream -o writes.
    ASSERT_EQ(folder.Run("encode menu.png -o menu.m2v -q" + kNtsc).status, 0);
    const DecoderVerdict verdict = DecodeStream(folder.dir / "menu.m2v", 720, 480);
    ASSERT_EQ(DecoderProblems(verdict, 720, 480), "");
    std::vector<uint8_t> piped = ReadFileBytes(folder.dir / "menu.yuv");
    ASSERT_EQ(piped.size(), size_t{720 * 480 * 3 / 2});
    piped.resize(720 * 480);
    EXPECT_EQ(piped, verdict.ffmpeg.y);
}

// --json - with -o FILE: the JSON alone on standard output, the summary on standard error.
TEST(QualityTest, JsonOnStandardOutputBesideAStreamFile) {
    CliFolder folder;
    const CliResult r =
        folder.Run("encode still/pic.tif -o pic.m2v --json -" + std::string(kEncodeSettings));
    ASSERT_EQ(r.status, 0) << r.err;
    TempDir scratch;
    const std::string json = scratch / "out.json";
    WriteFileText(json, r.out);
    EXPECT_EQ(JsonResults(json), "finished");
    const std::string bits = std::to_string(folder.Text("pic.m2v").size() * 8);
    EXPECT_EQ(JsonField(json, "bits"), bits);
    EXPECT_EQ(JsonField(json, "target"), "200000");
    EXPECT_GT(Number(JsonField(json, "seconds")), 0.0);
    EXPECT_GT(Number(JsonField(json, "psnr.y")), 30.0);
    EXPECT_GT(Number(JsonField(json, "psnr.average")), 30.0);
    EXPECT_GT(Number(JsonField(json, "ssimY")), 0.8);
    EXPECT_NE(r.err.find("quality  PSNR Y "), std::string::npos) << r.err;
}

// What each form of the summary says of the quality, and --no-measure.
struct SummaryCase {
    const char* name;
    std::string args;
    std::string out;   // a part of standard output; "" for none at all
    std::string json;  // psnr.average in report.json: "number" or "missing"
};

void PrintTo(const SummaryCase& c, std::ostream* os) { *os << c.name; }

const SummaryCase kSummaries[] = {
    {"Text", "", "average (6:1:1) ", "number"},
    {"Short", "--short", " dB, ", "number"},
    {"Quiet", "-q", "", "number"},
    {"NotMeasured", "--no-measure", "  time     ", "missing"},
};

class Summaries : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(Summaries, TellTheQuality) {
    const SummaryCase& c = GetParam();
    CliFolder folder;
    const CliResult r = folder.Run("run good.tp --json report.json " + c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(c.out.empty() ? r.out.empty() : r.out.find(c.out) != std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("PSNR") != std::string::npos, c.json == "number" && !c.out.empty())
        << r.out;
    const std::string average = JsonField(folder.dir / "report.json", "psnr.average");
    EXPECT_EQ(average == "missing" ? "missing" : "number", c.json) << average;
}

INSTANTIATE_TEST_SUITE_P(Forms, Summaries, ::testing::ValuesIn(kSummaries),
                         [](const ::testing::TestParamInfo<SummaryCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- The preview ----

TEST(PreviewTest, ShowsTheDecodedPicture) {
    CliFolder folder;
    const CliResult r = folder.Run("encode '" + Astronaut() +
                                   "' -o a.m2v -q --preview a.png --target 600000 "
                                   "--standard pal --aspect 4:3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(folder.NewNames(), "a.m2v a.png");
    EXPECT_TRUE(folder.TmpIsEmpty());
    ASSERT_TRUE(folder.Make("convert a.png -depth 8 rgb:a.rgb && convert '" + Astronaut() +
                            "' -depth 8 rgb:source.rgb"));
    const std::vector<uint8_t> preview = ReadFileBytes(folder.dir / "a.rgb");
    const std::vector<uint8_t> source = ReadFileBytes(folder.dir / "source.rgb");
    ASSERT_EQ(preview.size(), size_t{720 * 576 * 3});
    ASSERT_EQ(source.size(), preview.size());
    EXPECT_GT(Psnr(preview.data(), source.data(), source.size()), 28.0);
}

// Where a preview may not go: nothing is coded and nothing written.
struct PreviewRefusal {
    const char* name;
    std::string args;
    int status;
    std::string err;
};

void PrintTo(const PreviewRefusal& c, std::ostream* os) { *os << c.name; }

const std::string kSettings = kEncodeSettings;

const PreviewRefusal kPreviewRefusals[] = {
    {"OverTheInput", "encode still/pic.tif -o p.m2v --preview still/pic.tif" + kSettings, 1,
     "--preview: will not write over the input picture"},
    {"OverTheStream", "encode still/pic.tif -o p.m2v --preview ./p.m2v" + kSettings, 64,
     "--preview ./p.m2v is where the stream goes"},
    {"ForABatch", "run good.tp gone.tp --preview p.png", 64, "--preview takes one input"},
    {"OntoStandardOutput", "run good.tp --preview -", 64, "--preview needs a file"},
    {"KeptByNoClobber", "run good.tp -n --preview notes.png", 1,
     "notes.png exists and --no-clobber keeps it"},
};

class PreviewRefusals : public ::testing::TestWithParam<PreviewRefusal> {};

TEST_P(PreviewRefusals, CodeNothing) {
    const PreviewRefusal& c = GetParam();
    CliFolder folder;
    folder.Add("notes.png", "not a picture");
    const CliResult r = folder.Run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(folder.NewNames(), "");
    EXPECT_EQ(folder.Text("notes.png"), "not a picture");
    EXPECT_TRUE(folder.TmpIsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, PreviewRefusals, ::testing::ValuesIn(kPreviewRefusals),
                         [](const ::testing::TestParamInfo<PreviewRefusal>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
