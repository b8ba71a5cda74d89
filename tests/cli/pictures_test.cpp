// pictor encode on the pictures people have: each way a picture reaches the
// library (a TIFF as it is, a TIFF, PNG or JPEG converted, alpha over
// --background, a picture of any size fitted into the frame) and each setting
// give the library's own stream of the same job, and the quality reported is
// that of a real decoder's picture against the planes coded. Decoding and
// fitting themselves are the media module's to test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "cli/cli_support.h"
#include "media/fit.h"
#include "media/picture_input.h"
#include "media/reference_planes.h"
#include "support/decoders.h"
#include "support/job_runner.h"

namespace {

// Shell text that makes still/pic.tif an uncompressed RGB TIFF of the picture before it.
const std::string kAsTiff = " -type TrueColor -depth 8 -compress none still/pic.tif";
const std::string kSaturated = "convert -size 96x64 gradient:red-blue" + kAsTiff;
const std::string kClear = "convert -size 96x64 'xc:rgba(90,200,30,0)' png32:clear.png && ";
const std::string kGoodJob = std::string("SOURCE_FILE pic.tif\n") + kJobSettings;
const std::string kPalWideJob =
    "SOURCE_FILE pic.tif\nTARGET_SIZE 400000\nFRMRT PAL\nASPECT_RATIO 16:9\nPAN_SCAN OFF\n";
const std::string kNtscWideJob =
    "SOURCE_FILE pic.tif\nTARGET_SIZE 200000\nFRMRT NTSC\nASPECT_RATIO 16:9\nPAN_SCAN OFF\n";
const std::string kBig = "convert -seed 3 -size ";

// `pictor encode ARGS` against the library alone on the job file `job`, whose
// picture is still/pic.tif, with the switches `levelMode` and `extended`.
// make: shell text making the case's picture and, where the command converts
// it, still/pic.tif holding the same RGB. converted: what the summary says of
// the picture ("missing" when handed to the library as it is). fit: the mode
// and frame that fit big.png (made by `make`) into still/pic.tif for the job.
struct EncodeCase {
    const char* name;
    std::string make, args, job;
    int32_t levelMode, extended;
    const char* converted;
    std::optional<FitMode> fit = {};
    Frame frame = {};
};

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }

const EncodeCase kEncodes[] = {
    // Each way a picture reaches the library. --fit is given too: a picture of
    // a size the job takes is coded as it is (as the levels' pictures are).
    {"TiffLzw", "tiffcp -c lzw still/pic.tif lzw.tif", "lzw.tif --fit pad" + kEncode, kGoodJob, 0,
     0, "converted from TIFF 96x64"},
    // Pictures of other sizes, fitted in each mode; the pad is black at the level mode.
    {"VgaPadPal16x9StudioWide", kBig + "640x480 plasma: big.png",
     "big.png --fit pad --levels studio-wide --target 400000 --standard pal --aspect 16:9",
     kPalWideJob, 1, 0, "converted from PNG 640x480, fitted into the 720x576 frame (pad)",
     FitMode::kPad, FrameFor(true, true)},
    {"VgaCropNtsc16x9", kBig + "640x480 gradient:red-blue big.png",
     "big.png --fit crop --target 200000 --standard ntsc --aspect 16:9", kNtscWideJob, 0, 0,
     "converted from PNG 640x480, fitted into the 720x480 frame (crop)", FitMode::kCrop,
     FrameFor(false, true)},
    {"CifStretchNtsc4x3", kBig + "352x288 plasma: -alpha set png32:big.png",
     "big.png --fit stretch" + kEncode, kGoodJob, 0, 0,
     "converted from PNG 352x288, fitted into the 720x480 frame (stretch)", FitMode::kStretch,
     FrameFor(false, false)},
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

    if (c.fit) {
        RgbPicture big, fitted;
        std::string error;
        ASSERT_TRUE(ReadPicture(folder.dir / "big.png", Rgb8{}, &big, &error)) << error;
        ASSERT_TRUE(FitPicture(big, *c.fit, c.frame, StudioBlack(c.levelMode), &fitted, &error));
        std::remove((folder.dir / "still/pic.tif").c_str());
        ASSERT_TRUE(WriteRgbTiff(folder.dir / "still/pic.tif", fitted, &error)) << error;
    }
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
                         ::testing::PrintToStringParamName());

}  // namespace

namespace {

// ---- Where the picture landed, as --json tells it ----

// White pictures with four black squares, 1/16 of the shorter side, centred at 3/8 and 5/8 of
// each side (where crop keeps them): wide.png 640x360, tall.png 300x400; and the same pattern as
// a phone photo, turned.jpg, 3600x2880 as stored, 2880x3600 upright by its EXIF orientation 6,
// large enough to be decoded shrunk before it is fitted. Made as the shell text's argument says.
const std::string kMarkers =
    "/usr/bin/python3 -c \"import sys\nfrom PIL import Image, ImageDraw\n"
    "for name, w, h in (('wide', 640, 360), ('tall', 300, 400), ('turned', 2880, 3600)):\n"
    "    if (name == 'turned') != (sys.argv[1] == 'turned'): continue\n"
    "    im = Image.new('RGB', (w, h), 'white'); d = ImageDraw.Draw(im); s = min(w, h) // 16\n"
    "    for fx in (3, 5):\n"
    "        for fy in (3, 5):\n"
    "            x, y = w * fx // 8 - s // 2, h * fy // 8 - s // 2\n"
    "            d.rectangle((x, y, x + s - 1, y + s - 1), fill='black')\n"
    "    if name != 'turned': im.save(name + '.png'); continue\n"
    "    exif = Image.Exif(); exif[0x0112] = 6\n"
    "    im.transpose(Image.Transpose.ROTATE_90).save('turned.jpg', quality=95,"
    " exif=exif.tobytes())\" ";

struct PlacementCase {
    const char* name;
    const char* fit;
    bool pal, wide;
    bool turned = false;  // turned.jpg rather than wide.png (PAL) or tall.png (NTSC)
};

void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }

// The fit's geometry in every frame and mode is the media tests'; here what the report says of it,
// in every frame and each mode.
const PlacementCase kPlacements[] = {
    {"PadPal4x3", "pad", true, false},
    {"PadPal16x9", "pad", true, true},
    {"PadNtsc4x3", "pad", false, false},
    {"PadNtsc16x9", "pad", false, true},
    {"CropPal16x9", "crop", true, true},
    {"CropNtsc4x3", "crop", false, false},
    {"StretchPal4x3", "stretch", true, false},
    {"StretchNtsc16x9", "stretch", false, true},
    {"CropPal4x3TurnedPhoto", "crop", true, false, true},
};

class Placement : public ::testing::TestWithParam<PlacementCase> {};

// The centre of the dark samples of Y in the box of half-size r around (x, y), in sample
// coordinates (a sample covers [i, i + 1)).
std::pair<double, double> DarkCentre(const DecodedPicture& p, double x, double y, double r) {
    double sum = 0, sx = 0, sy = 0;
    for (int row = std::max(0, int(y - r)); row < std::min(p.height, int(y + r) + 1); ++row) {
        for (int col = std::max(0, int(x - r)); col < std::min(p.width, int(x + r) + 1); ++col) {
            const double w = std::max(0, 128 - int(p.y[size_t(row) * p.width + col]));
            sum += w;
            sx += w * (col + 0.5);
            sy += w * (row + 0.5);
        }
    }
    return sum > 0 ? std::make_pair(sx / sum, sy / sum) : std::make_pair(-1e9, -1e9);
}

// First and last bright sample of a line of `count` samples `step` apart from `at`.
std::pair<int, int> BrightSpan(const DecodedPicture& p, size_t at, size_t step, int count) {
    int first = -1, last = -1;
    for (int i = 0; i < count; ++i) {
        if (p.y[at + step * size_t(i)] > 128) {
            if (first < 0) first = i;
            last = i;
        }
    }
    return {first, last};
}

// Each marker's centre, carried from the source by the reported scale and offset, is where the
// decoded frame shows it, and the active rectangle is where the white picture shows, each
// within one sample.
TEST_P(Placement, JsonRedrawsThePatternWithinOneSample) {
    const PlacementCase& c = GetParam();
    CliFolder folder;
    ASSERT_TRUE(folder.Make(kMarkers + (c.turned ? "turned" : "flat")));
    const int w = c.turned ? 2880 : c.pal ? 640 : 300, h = c.turned ? 3600 : c.pal ? 360 : 400;
    const int frameHeight = c.pal ? 576 : 480;
    const CliResult r =
        folder.Run(std::string("encode ") +
                   (c.turned ? "turned.jpg"
                    : c.pal  ? "wide.png"
                             : "tall.png") +
                   " -o p.m2v -q --json p.json --target 1800000 --fit " + c.fit + " --standard " +
                   (c.pal ? "pal" : "ntsc") + " --aspect " + (c.wide ? "16:9" : "4:3"));
    ASSERT_EQ(r.status, 0) << r.err;
    // The size in the file, upright, however the picture was decoded.
    EXPECT_EQ(JsonValues(folder.dir / "p.json", "placement.source"),
              "[" + std::to_string(w) + ", " + std::to_string(h) + "]");
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    EXPECT_NE(JsonValues(folder.dir / "p.json", "converted").find(size), std::string::npos);
    const std::string said =
        JsonValues(folder.dir / "p.json", "placement.scale placement.offset placement.active");
    double sx = 0, sy = 0, ox = 0, oy = 0;
    int ax = 0, ay = 0, aw = 0, ah = 0;
    ASSERT_EQ(std::sscanf(said.c_str(), "[%lf, %lf], [%lf, %lf], [%d, %d, %d, %d]", &sx, &sy, &ox,
                          &oy, &ax, &ay, &aw, &ah),
              8)
        << said;
    const DecoderVerdict verdict = DecodeStream(folder.dir / "p.m2v", 720, frameHeight);
    ASSERT_EQ(DecoderProblems(verdict, 720, frameHeight), "");
    const DecodedPicture& y = verdict.mpeg2dec;
    const int s = std::min(w, h) / 16;
    for (int fx : {3, 5}) {
        for (int fy : {3, 5}) {
            const double cx = w * fx / 8 - s / 2 + s / 2.0, cy = h * fy / 8 - s / 2 + s / 2.0;
            const double px = ox + sx * cx, py = oy + sy * cy;
            const auto seen = DarkCentre(y, px, py, s * std::max(sx, sy));
            EXPECT_NEAR(seen.first, px, 1.0) << fx << "/8, " << fy << "/8";
            EXPECT_NEAR(seen.second, py, 1.0) << fx << "/8, " << fy << "/8";
        }
    }
    // Across the row and down the column through the picture's top left marker's edge.
    const int row = ay + ah / 8, col = ax + aw / 8;
    const auto across = BrightSpan(y, size_t(row) * 720, 1, 720);
    const auto down = BrightSpan(y, size_t(col), 720, frameHeight);
    EXPECT_NEAR(across.first, ax, 1);
    EXPECT_NEAR(across.second, ax + aw - 1, 1);
    EXPECT_NEAR(down.first, ay, 1);
    EXPECT_NEAR(down.second, ay + ah - 1, 1);
}

INSTANTIATE_TEST_SUITE_P(Frames, Placement, ::testing::ValuesIn(kPlacements),
                         ::testing::PrintToStringParamName());

}  // namespace
