// pictor encode on the pictures people have: each way a picture reaches the
// library (a TIFF as it is, a TIFF, PNG or JPEG converted, alpha over
// --background) and each setting give the library's own stream of the same
// job, and the quality reported is that of a real decoder's picture against
// the planes coded. With --fit, pictures of any size are scaled into the
// frame: on the decoded stream a disc is round on the display the stream
// states, and the picture's edges land where the mode puts them. Decoding and
// fitting themselves are the media module's to test.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_support.h"
#include "media/reference_planes.h"
#include "support/decoders.h"
#include "support/job_runner.h"

namespace {

const std::string kEncode = kEncodeSettings;

// Shell text that makes still/pic.tif an uncompressed RGB TIFF of the picture before it.
const std::string kAsTiff = " -type TrueColor -depth 8 -compress none still/pic.tif";
const std::string kSaturated = "convert -size 96x64 gradient:red-blue" + kAsTiff;
const std::string kClear = "convert -size 96x64 'xc:rgba(90,200,30,0)' png32:clear.png && ";
const std::string kGoodJob = std::string("SOURCE_FILE pic.tif\n") + kJobSettings;

// `pictor encode ARGS` against the library alone on the job file `job`, whose
// picture is still/pic.tif, with the switches `levelMode` and `extended`.
// make: shell text making the case's picture and, where the command converts
// it, still/pic.tif holding the same RGB. converted: what the summary says of
// the picture ("missing" when handed to the library as it is).
struct EncodeCase {
    const char* name;
    std::string make, args, job;
    int32_t levelMode, extended;
    const char* converted;
};

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }

const EncodeCase kEncodes[] = {
    // Each way a picture reaches the library. --fit is given too: a picture of
    // a size the job takes is coded as it is (as the levels' pictures are).
    {"TiffLzw", "tiffcp -c lzw still/pic.tif lzw.tif", "lzw.tif --fit pad" + kEncode, kGoodJob, 0,
     0, "converted from TIFF 96x64"},
    {"PngRgba", "convert still/pic.tif -alpha set png32:pic.png", "pic.png --fit crop" + kEncode,
     kGoodJob, 0, 0, "converted from PNG 96x64"},
    {"Jpeg", "convert still/pic.tif -quality 92 pic.jpg && convert pic.jpg" + kAsTiff,
     "pic.jpg" + kEncode, kGoodJob, 0, 0, "converted from JPEG 96x64"},
    // A wholly transparent picture: what shows is the background.
    {"BackgroundBlackByDefault", kClear + "convert -size 96x64 xc:black" + kAsTiff,
     "clear.png" + kEncode, kGoodJob, 0, 0, "converted from PNG 96x64"},
    {"BackgroundRed", kClear + "convert -size 96x64 xc:red" + kAsTiff,
     "clear.png --background '#FF0000'" + kEncode, kGoodJob, 0, 0, "converted from PNG 96x64"},
    // Each name of --levels stands for the library's level mode; the picture's
    // colours lie where the modes clip them apart.
    {"LevelsVideo", kSaturated, "still/pic.tif --levels video --fit pad" + kEncode, kGoodJob, 0, 0,
     "missing"},
    {"LevelsStudio", kSaturated, "still/pic.tif --levels studio" + kEncode, kGoodJob, 2, 0,
     "missing"},
    {"LevelsStudioWide", kSaturated, "still/pic.tif --levels studio-wide" + kEncode, kGoodJob, 1, 0,
     "missing"},
    {"LevelsFull", kSaturated, "still/pic.tif --levels full" + kEncode, kGoodJob, 2, 0, "missing"},
    {"LevelsFullWide", kSaturated, "still/pic.tif --levels full-wide" + kEncode, kGoodJob, 1, 0,
     "missing"},
    // The other settings.
    {"PalWidePanScanExtended",
     "cp '" PICTOR_SOURCE_DIR "/examples/still/astronaut.tif' still/pic.tif",
     "still/pic.tif --target 1200000 --standard pal --aspect 16:9 --pan-scan -32 --extended",
     "SOURCE_FILE pic.tif\nTARGET_SIZE 1200000\nFRMRT PAL\nASPECT_RATIO 16:9\n"
     "PAN_SCAN ON\nPAN_SCAN_VECTOR -32\n",
     0, 1, "missing"},
};

class Encode : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(Encode, GivesTheLibrarysStreamOfTheSameJob) {
    const EncodeCase& c = GetParam();
    CliFolder folder;
    ASSERT_TRUE(folder.Make(c.make));
    const CliResult r = folder.Run("encode " + c.args + " -o cli.m2v -q --json cli.json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // What the summary says of the stream and the picture.
    const std::string said =
        JsonValues(folder.dir / "cli.json", "bits psnr.y psnr.cb psnr.cr converted");
    long long bits = 0;
    double y = 0, cb = 0, cr = 0;
    char from[100] = "";
    const char* at = said.c_str();
    ASSERT_EQ(std::sscanf(at, "%lld, %lf, %lf, %lf, %99[^\n]", &bits, &y, &cb, &cr, from), 5) << at;
    EXPECT_EQ(bits, static_cast<long long>(folder.Text("cli.m2v").size() * 8));
    EXPECT_STREQ(from, c.converted);

    folder.Add("alone.tp", c.job);
    JobOptions options;
    options.levelMode = c.levelMode;
    options.extendedAnalysis = c.extended;
    const JobOutcome alone = RunPictor(folder.dir.path, "alone.tp", options);
    ASSERT_EQ(alone.result, 0) << alone.errorText;
    EXPECT_EQ(folder.Text("cli.m2v"), folder.Text("alone.ts"));

    // The quality reported: libmpeg2's decode (mpeg2dec's) against the planes coded.
    YuvPlanes coded;
    std::string error;
    ASSERT_TRUE(ReferencePlanesFromTiff(folder.dir / "still/pic.tif", c.levelMode, &coded, &error))
        << error;
    const DecoderVerdict verdict = DecodeStream(folder.dir / "cli.m2v", coded.width, coded.height);
    ASSERT_EQ(DecoderProblems(verdict, coded.width, coded.height), "");
    const DecodedPicture& decoded = verdict.mpeg2dec;
    EXPECT_NEAR(y, Psnr(coded.y.data(), decoded.y.data(), decoded.y.size()), 0.01);
    EXPECT_NEAR(cb, Psnr(coded.cb.data(), decoded.cb.data(), decoded.cb.size()), 0.01);
    EXPECT_NEAR(cr, Psnr(coded.cr.data(), decoded.cr.data(), decoded.cr.size()), 0.01);
}

INSTANTIATE_TEST_SUITE_P(Jobs, Encode, ::testing::ValuesIn(kEncodes),
                         [](const ::testing::TestParamInfo<EncodeCase>& info) {
                             return std::string(info.param.name);
                         });

// A PNG of mid grey with a white disc at its centre (its radius a quarter of
// the height), fitted into a 720-wide frame.
// par: the width of a sample over its height on the display (BT.601:
// PAL 4:3 59:54, PAL 16:9 118:81, NTSC 4:3 10:11, NTSC 16:9 40:33). shape: the
// disc's displayed width over its height (1: round). left..bottom: where the
// picture lies in the frame, the rest being the black pad.
struct FitCase {
    const char* name;
    int width, height;
    std::string args;
    int frameHeight;
    double par, shape;
    int left, right, top, bottom;
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

// Worked by hand: a picture of aspect A fills h lines over h x A / par
// samples; pad keeps it within the 702 (PAL) or 704 (NTSC) active samples. The
// pad is black at every level mode.
const FitCase kFits[] = {
    {"VgaPadPal16x9StudioWide", 640, 480,
     "--standard pal --aspect 16:9 --fit pad --levels studio-wide", 576, 118.0 / 81, 1.0, 96, 622,
     0, 575},
    {"VgaCropNtsc16x9", 640, 480, "--standard ntsc --aspect 16:9 --fit crop", 480, 40.0 / 33, 1.0,
     0, 719, 0, 479},
    // 720 / 1920 of the width and 480 / 1080 of the height: (0.375 x 10 / 11) / (4 / 9).
    {"HdStretchNtsc4x3", 1920, 1080, "--standard ntsc --aspect 4:3 --fit stretch", 480, 10.0 / 11,
     0.767, 0, 719, 0, 479},
};

// First and last of `count` samples, `step` apart from `first`, above `threshold`.
std::pair<int, int> Span(const std::vector<uint8_t>& plane, size_t first, size_t step, int count,
                         int threshold) {
    std::pair<int, int> span = {-1, -1};
    for (int i = 0; i < count; ++i) {
        if (plane[first + step * static_cast<size_t>(i)] <= threshold) continue;
        if (span.first < 0) span.first = i;
        span.second = i;
    }
    return span;
}

class Fit : public ::testing::TestWithParam<FitCase> {};

TEST_P(Fit, DiscIsRoundAndThePictureLandsInPlace) {
    const FitCase& c = GetParam();
    CliFolder folder;
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    const std::string cx = std::to_string(c.width / 2), cy = std::to_string(c.height / 2);
    ASSERT_TRUE(folder.Make("convert -size " + size + " xc:gray50 -fill white -draw 'circle " + cx +
                            "," + cy + " " + cx + "," + std::to_string(c.height / 4) +
                            "' disc.png"));
    const CliResult r = folder.Run("encode disc.png -o disc.m2v -q --target 900000 " + c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    const DecoderVerdict verdict = DecodeStream(folder.dir / "disc.m2v", 720, c.frameHeight);
    ASSERT_EQ(DecoderProblems(verdict, 720, c.frameHeight), "");

    // Along the middle row and column. Black codes at Y 16, grey 128 near 126,
    // white near 235.
    const std::vector<uint8_t>& y = verdict.ffmpeg.y;
    const size_t middleRow = static_cast<size_t>(c.frameHeight / 2) * 720;
    const auto across = Span(y, middleRow, 1, 720, (16 + 126) / 2);
    const auto down = Span(y, 360, 720, c.frameHeight, (16 + 126) / 2);
    EXPECT_NEAR(across.first, c.left, 2);
    EXPECT_NEAR(across.second, c.right, 2);
    EXPECT_NEAR(down.first, c.top, 2);
    EXPECT_NEAR(down.second, c.bottom, 2);
    // The pad is studio black: a sample in the first block, all of it pad.
    if (c.left > 8 || c.top > 8) {
        EXPECT_NEAR(y[2 * 720 + 2], 16, 2);
    }

    const auto discAcross = Span(y, middleRow, 1, 720, (126 + 235) / 2);
    const auto discDown = Span(y, 360, 720, c.frameHeight, (126 + 235) / 2);
    const double width = (discAcross.second - discAcross.first + 1) * c.par;
    const double height = discDown.second - discDown.first + 1;
    EXPECT_NEAR(width / height, c.shape, 0.02) << width << " by " << height << " lines";
}

INSTANTIATE_TEST_SUITE_P(Modes, Fit, ::testing::ValuesIn(kFits),
                         [](const ::testing::TestParamInfo<FitCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
