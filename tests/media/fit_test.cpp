// Fitting pictures into the frame: where the picture lands for each mode,
// frame and source shape; a disc stays round on the frame's display; flat
// colours pass the resampler unchanged; and the pad colour is black in every
// level mode of the library's conversion.
#include <cmath>

#include "media/fit.h"
#include "media/picture_input.h"
#include "media/quality.h"
#include "media/reference_planes.h"
#include "media_test_support.h"
#include "support/files.h"

namespace {

struct FrameCase {
    bool pal;
    bool wide;
};

std::string FrameName(const FrameCase& f) {
    return std::string(f.pal ? "pal" : "ntsc") + (f.wide ? "_16x9" : "_4x3");
}

const char* ModeName(FitMode mode) {
    return mode == FitMode::kPad ? "pad" : mode == FitMode::kCrop ? "crop" : "stretch";
}

// ---- Where the picture lands ----

struct PlaceCase {
    int width, height;
    FitMode mode;
    FrameCase frame;
    Placement expected;
};

std::string PlaceName(const PlaceCase& c) {
    return std::to_string(c.width) + "x" + std::to_string(c.height) + "_" + ModeName(c.mode) + "_" +
           FrameName(c.frame);
}

void PrintTo(const PlaceCase& c, std::ostream* os) { *os << PlaceName(c); }

// Worked by hand from the pixel aspect ratios of fit.h: a picture of aspect A
// spans h x A x den / num samples on h lines.
const PlaceCase kPlaces[] = {
    // 16:9 into PAL 16:9: 703 samples would be needed, 702 are active.
    {1920, 1080, FitMode::kPad, {true, true}, {702, 575, 9, 0}},
    {1920, 1080, FitMode::kPad, {true, false}, {702, 431, 9, 72}},
    {1920, 1080, FitMode::kPad, {false, true}, {704, 480, 8, 0}},
    {1920, 1080, FitMode::kPad, {false, false}, {704, 360, 8, 60}},
    {640, 480, FitMode::kPad, {true, false}, {702, 575, 9, 0}},
    {640, 480, FitMode::kPad, {true, true}, {527, 576, 96, 0}},
    {640, 480, FitMode::kPad, {false, false}, {704, 480, 8, 0}},
    {640, 480, FitMode::kPad, {false, true}, {528, 480, 96, 0}},
    {1920, 1080, FitMode::kCrop, {true, false}, {937, 576, -108, 0}},
    {640, 480, FitMode::kCrop, {true, true}, {720, 787, 0, -105}},
    {1920, 1080, FitMode::kStretch, {false, false}, {720, 480, 0, 0}},
};

class Places : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(Places, WhereTheAspectMathsPutsIt) {
    const PlaceCase& c = GetParam();
    const Placement p =
        PlacePicture(c.width, c.height, c.mode, FrameFor(c.frame.pal, c.frame.wide));
    EXPECT_EQ(p.width, c.expected.width);
    EXPECT_EQ(p.height, c.expected.height);
    EXPECT_EQ(p.x, c.expected.x);
    EXPECT_EQ(p.y, c.expected.y);
}

INSTANTIATE_TEST_SUITE_P(Sources, Places, ::testing::ValuesIn(kPlaces),
                         [](const ::testing::TestParamInfo<PlaceCase>& info) {
                             return PlaceName(info.param);
                         });

// ---- Geometry of the fitted picture ----

struct GeometryCase {
    int width, height;
    FitMode mode;
    FrameCase frame;
};

std::string GeometryName(const GeometryCase& c) {
    return std::to_string(c.width) + "x" + std::to_string(c.height) + "_" + ModeName(c.mode) + "_" +
           FrameName(c.frame);
}

void PrintTo(const GeometryCase& c, std::ostream* os) { *os << GeometryName(c); }

std::vector<GeometryCase> GeometryCases() {
    std::vector<GeometryCase> cases;
    for (FitMode mode : {FitMode::kPad, FitMode::kCrop, FitMode::kStretch}) {
        for (FrameCase frame : {FrameCase{true, false}, FrameCase{true, true},
                                FrameCase{false, false}, FrameCase{false, true}}) {
            cases.push_back({1920, 1080, mode, frame});
            cases.push_back({640, 480, mode, frame});
        }
    }
    return cases;
}

class Geometry : public ::testing::TestWithParam<GeometryCase> {};

// Mid grey with a white disc; the pad is black. On the display a sample is
// num/den as wide as a line is high, so a round disc spans dx x num/den = dy.
TEST_P(Geometry, DiscStaysRoundAndEdgesLandOnThePlacement) {
    const GeometryCase& c = GetParam();
    const Frame frame = FrameFor(c.frame.pal, c.frame.wide);
    // Small enough that crop, which enlarges a 4:3 picture for a 16:9 frame, keeps it whole.
    const int radius = c.height / 4;
    RgbPicture fitted;
    std::string error;
    ASSERT_TRUE(
        FitPicture(DiscPicture(c.width, c.height, radius), c.mode, frame, Rgb8{}, &fitted, &error))
        << error;
    ASSERT_EQ(fitted.width, frame.width);
    ASSERT_EQ(fitted.height, frame.height);

    const Extent disc = ExtentAbove(fitted.rgb.data(), frame.width, frame.height, 3, 191);
    const Extent picture = ExtentAbove(fitted.rgb.data(), frame.width, frame.height, 3, 64);
    const Placement p = PlacePicture(c.width, c.height, c.mode, frame);
    const double shown = disc.Width() * double(frame.aspectNum) / frame.aspectDen;
    if (c.mode == FitMode::kStretch) {
        // Aspect ignored: the disc is scaled by 720 / width across and by lines / height down.
        EXPECT_NEAR(disc.Width(), 2.0 * radius * frame.width / c.width, 2.0);
        EXPECT_NEAR(disc.Height(), 2.0 * radius * frame.height / c.height, 2.0);
    } else {
        EXPECT_NEAR(shown / disc.Height(), 1.0, 0.015)
            << disc.Width() << " samples by " << disc.Height() << " lines";
        EXPECT_NEAR(disc.Height(), 2.0 * radius * p.height / c.height, 2.0);
    }
    if (c.mode == FitMode::kPad) {
        EXPECT_NEAR(picture.left, p.x, 1);
        EXPECT_NEAR(picture.right, p.x + p.width - 1, 1);
        EXPECT_NEAR(picture.top, p.y, 1);
        EXPECT_NEAR(picture.bottom, p.y + p.height - 1, 1);
        EXPECT_LE(p.width, frame.activeWidth);
    } else {
        // Nothing of the pad shows: the picture covers the frame.
        EXPECT_EQ(picture.left, 0);
        EXPECT_EQ(picture.right, frame.width - 1);
        EXPECT_EQ(picture.top, 0);
        EXPECT_EQ(picture.bottom, frame.height - 1);
    }
    // The disc is centred.
    EXPECT_NEAR(disc.left + disc.right, frame.width - 1, 2);
    EXPECT_NEAR(disc.top + disc.bottom, frame.height - 1, 2);
}

INSTANTIATE_TEST_SUITE_P(Frames, Geometry, ::testing::ValuesIn(GeometryCases()),
                         [](const ::testing::TestParamInfo<GeometryCase>& info) {
                             return GeometryName(info.param);
                         });

// ---- Through the coder: the decoded disc is round on the display ----

class ThroughTheCoder : public ::testing::TestWithParam<FrameCase> {};

TEST_P(ThroughTheCoder, DecodedDiscIsRound) {
    const FrameCase& f = GetParam();
    TempDir dir;
    const std::string png = dir / "disc.png", tif = dir / "fitted.tif";
    // A 1920 x 1080 PNG from ImageMagick: grey, a white disc of radius 400.
    ASSERT_TRUE(Make(
        "convert -size 1920x1080 xc:gray50 -fill white -draw 'circle 960,540 960,140' " + Q(png)));
    RgbPicture picture, fitted;
    std::string error;
    ASSERT_TRUE(ReadPicture(png, Rgb8{}, &picture, &error)) << error;
    const Frame frame = FrameFor(f.pal, f.wide);
    ASSERT_TRUE(FitPicture(picture, FitMode::kPad, frame, StudioBlack(0), &fitted, &error))
        << error;
    ASSERT_TRUE(WriteRgbTiff(tif, fitted, &error)) << error;
    std::string why;
    ASSERT_TRUE(LibraryTakesAsIs(tif, &why)) << why;
    ASSERT_TRUE(SizeSuitsJob(fitted.width, fitted.height, f.pal, f.wide, &why)) << why;
    const std::string stream = EncodeTiff(dir.path, tif, f.pal, f.wide, 600000, 0);
    ASSERT_FALSE(stream.empty());
    DecodedStream decoded;
    ASSERT_TRUE(DecodeMpeg2Stream(stream, &decoded, &error)) << error;
    ASSERT_EQ(decoded.picture.width, frame.width);
    ASSERT_EQ(decoded.picture.height, frame.height);
    // Grey 128 codes near Y 126 and white at Y 235.
    const Extent disc =
        ExtentAbove(decoded.picture.y.data(), frame.width, frame.height, 1, (126 + 235) / 2);
    const double shown = disc.Width() * double(frame.aspectNum) / frame.aspectDen;
    EXPECT_NEAR(shown / disc.Height(), 1.0, 0.02)
        << disc.Width() << " samples by " << disc.Height() << " lines";
}

INSTANTIATE_TEST_SUITE_P(Frames, ThroughTheCoder,
                         ::testing::Values(FrameCase{true, true}, FrameCase{true, false},
                                           FrameCase{false, true}, FrameCase{false, false}),
                         [](const ::testing::TestParamInfo<FrameCase>& info) {
                             return FrameName(info.param);
                         });

// ---- Colours through the resampler, and the pad ----

struct FlatCase {
    int width, height;
    uint8_t level;
};

void PrintTo(const FlatCase& c, std::ostream* os) {
    *os << c.width << "x" << c.height << "_" << int(c.level);
}

class Flat : public ::testing::TestWithParam<FlatCase> {};

TEST_P(Flat, FlatColourPassesUnchanged) {
    const FlatCase& c = GetParam();
    RgbPicture in, out;
    in.width = c.width;
    in.height = c.height;
    in.rgb.assign(size_t(c.width) * c.height * 3, c.level);
    std::string error;
    ASSERT_TRUE(FitPicture(in, FitMode::kStretch, FrameFor(true, false), Rgb8{}, &out, &error))
        << error;
    for (uint8_t v : out.rgb) ASSERT_EQ(v, c.level);
}

INSTANTIATE_TEST_SUITE_P(Levels, Flat,
                         ::testing::Values(FlatCase{1920, 1080, 0}, FlatCase{1920, 1080, 255},
                                           FlatCase{640, 480, 16}, FlatCase{97, 61, 235},
                                           FlatCase{3001, 7, 128}),
                         [](const ::testing::TestParamInfo<FlatCase>& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height) + "_" +
                                    std::to_string(info.param.level);
                         });

class PadColour : public ::testing::TestWithParam<int> {};

// StudioBlack through the library's own conversion, in each level mode.
TEST_P(PadColour, StudioBlackCodesAsVideoBlack) {
    const int levelMode = GetParam();
    TempDir dir;
    RgbPicture flat;
    flat.width = 96;
    flat.height = 64;
    const Rgb8 black = StudioBlack(levelMode);
    for (int n = 0; n < 96 * 64; ++n) flat.rgb.insert(flat.rgb.end(), {black.r, black.g, black.b});
    std::string error;
    ASSERT_TRUE(WriteRgbTiff(dir / "black.tif", flat, &error)) << error;
    YuvPlanes planes;
    ASSERT_TRUE(ReferencePlanesFromTiff(dir / "black.tif", levelMode, &planes, &error)) << error;
    for (uint8_t y : planes.y) ASSERT_EQ(y, 16);
    for (uint8_t cb : planes.cb) ASSERT_EQ(cb, 128);
    for (uint8_t cr : planes.cr) ASSERT_EQ(cr, 128);
}

INSTANTIATE_TEST_SUITE_P(LevelModes, PadColour, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "level_mode_" + std::to_string(info.param);
                         });

// ---- Odd and hostile inputs ----

struct ExtremeCase {
    const char* name;
    int width, height;
    FitMode mode;
};

void PrintTo(const ExtremeCase& c, std::ostream* os) { *os << c.name; }

class Extremes : public ::testing::TestWithParam<ExtremeCase> {};

TEST_P(Extremes, FitWithoutTrouble) {
    const ExtremeCase& c = GetParam();
    RgbPicture in, out;
    in.width = c.width;
    in.height = c.height;
    in.rgb.assign(size_t(c.width) * c.height * 3, 200);
    std::string error;
    ASSERT_TRUE(FitPicture(in, c.mode, FrameFor(false, true), Rgb8{}, &out, &error)) << error;
    EXPECT_EQ(out.width, 720);
    EXPECT_EQ(out.height, 480);
    EXPECT_EQ(out.rgb.size(), size_t(720) * 480 * 3);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Extremes,
    ::testing::Values(ExtremeCase{"one_pixel_pad", 1, 1, FitMode::kPad},
                      ExtremeCase{"one_pixel_crop", 1, 1, FitMode::kCrop},
                      ExtremeCase{"wide_strip_pad", 65535, 1, FitMode::kPad},
                      ExtremeCase{"wide_strip_crop", 65535, 1, FitMode::kCrop},
                      ExtremeCase{"tall_strip_pad", 1, 65535, FitMode::kPad},
                      ExtremeCase{"tall_strip_crop", 1, 65535, FitMode::kCrop},
                      ExtremeCase{"large_stretch", 8192, 8192, FitMode::kStretch}),
    [](const ::testing::TestParamInfo<ExtremeCase>& info) { return std::string(info.param.name); });

TEST(FitPicture, RefusesAnInconsistentPicture) {
    RgbPicture in, out;
    in.width = 10;
    in.height = 10;
    in.rgb.assign(299, 0);
    std::string error;
    EXPECT_FALSE(FitPicture(in, FitMode::kPad, FrameFor(true, false), Rgb8{}, &out, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(
        FitPicture(RgbPicture{}, FitMode::kPad, FrameFor(true, false), Rgb8{}, &out, &error));
}

TEST(ParseFitMode, KnowsTheThreeModes) {
    FitMode mode = FitMode::kStretch;
    EXPECT_TRUE(ParseFitMode("pad", &mode));
    EXPECT_EQ(mode, FitMode::kPad);
    EXPECT_TRUE(ParseFitMode("crop", &mode));
    EXPECT_EQ(mode, FitMode::kCrop);
    EXPECT_TRUE(ParseFitMode("stretch", &mode));
    EXPECT_EQ(mode, FitMode::kStretch);
    EXPECT_FALSE(ParseFitMode("Pad", &mode));
    EXPECT_FALSE(ParseFitMode("", &mode));
}

}  // namespace
