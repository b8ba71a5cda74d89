#include "convert/colour.h"

#include "tiff/tiff_test_support.h"

namespace {

struct LevelCase {
    int fullRange, wideClip;
    uint8_t r, g, b;
    int y, cb, cr;
};

class ColourTableTest : public PictureInputTest, public ::testing::WithParamInterface<LevelCase> {};

// A 96 x 64 picture of one colour, converted whole.
TEST_P(ColourTableTest, FlatPictureGivesTheTableValues) {
    const LevelCase& c = GetParam();
    gSwitches.fullRange = c.fullRange;
    gSwitches.wideClip = c.wideClip;
    std::vector<uint8_t> rgb;
    for (int n = 0; n < 96 * 64; ++n) rgb.insert(rgb.end(), {c.r, c.g, c.b});
    ASSERT_EQ(Convert(MakeRgbTiff(96, 64, rgb)), 0) << Text();
    for (int n : {0, 1, 96 * 64 - 1}) EXPECT_EQ(gPlanes.y[n], c.y);
    for (int n : {0, 48 * 64 - 1}) {
        EXPECT_EQ(gPlanes.cb[n], c.cb);
        EXPECT_EQ(gPlanes.cr[n], c.cr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Levels, ColourTableTest,
    ::testing::Values(LevelCase{0, 0, 0, 0, 0, 16, 128, 128}, LevelCase{0, 0, 255, 255, 255, 235, 128, 128},
                      LevelCase{0, 0, 128, 128, 128, 126, 128, 128}, LevelCase{0, 0, 255, 0, 0, 81, 90, 240},
                      LevelCase{0, 0, 0, 255, 0, 145, 54, 34}, LevelCase{0, 0, 0, 0, 255, 41, 240, 110},
                      LevelCase{1, 1, 0, 0, 0, 5, 128, 128}, LevelCase{1, 1, 255, 255, 255, 250, 128, 128},
                      LevelCase{1, 1, 255, 0, 0, 76, 85, 250}, LevelCase{1, 1, 0, 0, 255, 29, 250, 107},
                      LevelCase{1, 0, 0, 0, 0, 16, 128, 128}, LevelCase{1, 0, 255, 255, 255, 235, 128, 128},
                      LevelCase{1, 0, 255, 0, 0, 76, 85, 240}));

TEST_F(PictureInputTest, WhiteAndBlackPairAveragesTheChroma) {
    const uint8_t white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
    uint8_t cb = 0, cr = 0;
    ChromaOfPair(white, black, &cb, &cr);
    EXPECT_EQ(LumaOf(255, 255, 255), 235);
    EXPECT_EQ(LumaOf(0, 0, 0), 16);
    EXPECT_EQ(cb, 128);
    EXPECT_EQ(cr, 128);
    // Negative pair sums round toward minus infinity: green and blue average to
    // a red difference of -(27460 + 5308) / 2 per 255.
    const uint8_t green[3] = {0, 255, 0}, blue[3] = {0, 0, 255};
    ChromaOfPair(green, blue, &cb, &cr);
    EXPECT_EQ(cb, 147);
    EXPECT_EQ(cr, 72);
}

class OrientationTest : public PictureInputTest, public ::testing::WithParamInterface<int> {};

// Each working-plane pixel comes from the stored picture at the mirrored place.
TEST_P(OrientationTest, FetchRule) {
    const int w = 96, h = 64, orientation = GetParam();
    std::vector<uint8_t> rgb = Pattern(w, h);
    TiffOptions options;
    options.orientation = orientation;
    ASSERT_EQ(ReadRaster(MakeRgbTiff(w, h, rgb, options)), 0);
    ASSERT_EQ(ApplyOrientation(), 0);
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            int fr = orientation >= 3 ? h - 1 - r : r;
            int fc = orientation == 2 || orientation == 3 ? w - 1 - c : c;
            size_t from = (static_cast<size_t>(fr) * w + fc) * 3;
            size_t to = static_cast<size_t>(r) * w + c;
            ASSERT_EQ(gPlanes.red[to], rgb[from]) << r << "," << c;
            ASSERT_EQ(gPlanes.green[to], rgb[from + 1]);
            ASSERT_EQ(gPlanes.blue[to], rgb[from + 2]);
        }
    }
    EXPECT_EQ(TrackedBlocks(), 6);  // the copies are released
}

INSTANTIATE_TEST_SUITE_P(Mirrors, OrientationTest, ::testing::Values(2, 3, 4));

}  // namespace
