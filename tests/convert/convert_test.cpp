// The conversion call: pictures from real writers against the RGB pixels that
// ImageMagick decodes from them, and the exact levels of known colours.
#include <cmath>

#include "tiff/tiff_test_support.h"

namespace {

// Studio-range Y and pair-averaged Cb/Cr, in floating point, before rounding.
double Luma(const uint8_t* p) { return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]; }
double Level(double v, double scale, double offset) {
    return std::fmin(std::fmax(v * scale / 255 + offset, 16), 240);
}

// flat: the grey level of every pixel, for a picture without a .rgb file;
// codes: the messages of a refusal.
struct Fixture {
    const char* name;
    int width, height, flat;
    std::vector<int> codes;
};

PICTOR_PRINTS_ITS_NAME(Fixture)

class FixtureTest : public PictureInputTest, public ::testing::WithParamInterface<Fixture> {};

TEST_P(FixtureTest, PlanesMatchAnIndependentDecode) {
    const Fixture& f = GetParam();
    std::string tif = TestDataPath(std::string("tiff/data/") + f.name + ".tif");
    ASSERT_EQ(ConvertSourcePicture(tif.c_str()), f.codes.empty() ? 0 : -1);
    EXPECT_EQ(Codes(), f.codes) << text_;
    if (!f.codes.empty()) {
        if (f.codes.back() == 19) ExpectRefused(tif);
        return;
    }
    ASSERT_EQ(std::make_pair(gTiffFields.imageWidth, gTiffFields.imageLength),
              std::make_pair(uint32_t(f.width), uint32_t(f.height)));
    std::vector<uint8_t> rgb(static_cast<size_t>(f.width) * f.height * 3,
                             static_cast<uint8_t>(f.flat));
    if (f.flat < 0) rgb = ReadFileBytes(TestDataPath(std::string("tiff/data/") + f.name + ".rgb"));
    ASSERT_EQ(rgb.size(), static_cast<size_t>(f.width) * f.height * 3);
    for (int n = 0; n < f.width * f.height; n += 2) {
        const uint8_t *p = &rgb[n * 3], *q = p + 3;
        ASSERT_NEAR(gPlanes.y[n], std::fmin(Level(Luma(p), 219, 16), 235), 1) << n;
        ASSERT_NEAR(gPlanes.y[n + 1], std::fmin(Level(Luma(q), 219, 16), 235), 1) << n + 1;
        ASSERT_NEAR(gPlanes.cb[n / 2], Level((p[2] + q[2] - Luma(p) - Luma(q)) / 3.544, 224, 128),
                    1)
            << n;
        ASSERT_NEAR(gPlanes.cr[n / 2], Level((p[0] + q[0] - Luma(p) - Luma(q)) / 2.804, 224, 128),
                    1)
            << n;
    }
    // Only the picture planes remain: the source is closed and the working planes given back.
    EXPECT_EQ(TrackedBlocks(), 3);
    EXPECT_EQ(gFileRegistry.count, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Writers, FixtureTest,
    ::testing::Values(
        Fixture{"pil_rgb_96x64", 96, 64, -1, {}}, Fixture{"pil_grey_96x64", 96, 64, -1, {}},
        Fixture{"pil_bilevel_96x64", 96, 64, -1, {}}, Fixture{"pil_palette_96x64", 96, 64, -1, {}},
        Fixture{"im_rgb_176x144_le", 176, 144, -1, {}},
        Fixture{"im_packbits_176x144_be", 176, 144, -1, {}},
        Fixture{"im_rgb16_96x64_be", 96, 64, -1, {}}, Fixture{"im_rgb16_96x64_le", 96, 64, -1, {}},
        Fixture{"im_grey4_96x64", 96, 64, -1, {}}, Fixture{"tiffcp_rgb_96x64_be", 96, 64, -1, {}},
        Fixture{"tiffcp_packbits_96x64_le", 96, 64, -1, {}},
        Fixture{"tiffcp_packbits_352x240_be", 352, 240, -1, {}},
        Fixture{"tiffcp_two_pages_96x64", 96, 64, -1, {}},
        Fixture{"tiffcp_packbits_flat_720x576", 720, 576, 90, {}},
        Fixture{"pil_rgba_96x64", 0, 0, 0, {19}}, Fixture{"pil_grey16_96x64", 0, 0, 0, {19}},
        Fixture{"im_lzw_96x64", 0, 0, 0, {19, 19}}, Fixture{"missing", 0, 0, 0, {13}}),
    ByName<Fixture>);

// A 96 x 64 picture whose pixel pairs are (left, right), with the level switches.
struct LevelCase {
    const char* name;
    int levelMode;
    uint8_t left[3], right[3];
    int yLeft, yRight, cb, cr;
};

PICTOR_PRINTS_ITS_NAME(LevelCase)

class LevelTest : public PictureInputTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(LevelTest, KnownColoursGiveExactLevels) {
    const LevelCase& c = GetParam();
    const ColourLevels levels{c.levelMode != 0, c.levelMode == 1};
    std::vector<uint8_t> rgb(96 * 64 * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = i % 6 < 3 ? c.left[i % 3] : c.right[i % 3];
    ASSERT_EQ(ConvertSourcePicture(Write(MakeRgbTiff(96, 64, rgb)).c_str(), levels), 0) << text_;
    for (int n : {0, 96 * 64 - 2}) {
        EXPECT_EQ((std::vector<int>{gPlanes.y[n], gPlanes.y[n + 1], gPlanes.cb[n / 2],
                                    gPlanes.cr[n / 2]}),
                  (std::vector<int>{c.yLeft, c.yRight, c.cb, c.cr}));
    }
}

// levelMode 0 (Video): studio range; 1 (Wide): full range, wide clip; 2 (Full): full range.
// Negative chroma sums round toward minus infinity (green with blue).
const LevelCase kLevels[] = {
    {"VideoBlackWhite", 0, {0, 0, 0}, {255, 255, 255}, 16, 235, 128, 128},
    {"VideoRed", 0, {255, 0, 0}, {255, 0, 0}, 81, 81, 90, 240},
    {"VideoGreen", 0, {0, 255, 0}, {0, 255, 0}, 145, 145, 54, 34},
    {"VideoBlue", 0, {0, 0, 255}, {0, 0, 255}, 41, 41, 240, 110},
    {"VideoGreenBlue", 0, {0, 255, 0}, {0, 0, 255}, 145, 41, 147, 72},
    {"WideBlackWhite", 1, {0, 0, 0}, {255, 255, 255}, 5, 250, 128, 128},
    {"WideRed", 1, {255, 0, 0}, {255, 0, 0}, 76, 76, 85, 250},
    {"WideBlue", 1, {0, 0, 255}, {0, 0, 255}, 29, 29, 250, 107},
    {"FullBlackWhite", 2, {0, 0, 0}, {255, 255, 255}, 16, 235, 128, 128},
    {"FullRed", 2, {255, 0, 0}, {255, 0, 0}, 76, 76, 85, 240},
};
INSTANTIATE_TEST_SUITE_P(Colours, LevelTest, ::testing::ValuesIn(kLevels), ByName<LevelCase>);

}  // namespace
