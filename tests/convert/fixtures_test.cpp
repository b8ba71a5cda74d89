// Pictures written by ImageMagick, tiffcp and Pillow, checked against the RGB
// pixels that ImageMagick decodes from the same files.
#include "tiff/tiff_test_support.h"

namespace {

int Clip(int v, int low, int high) { return v < low ? low : v > high ? high : v; }

// The video-level formulas, written out independently of the converter.
int ExpectedLuma(int r, int g, int b) {
    int t = Clip((19595 * r + 38470 * g + 7471 * b + 128) / 255, 0, 65536);
    return Clip(((t * 219 + 32768) >> 16) + 16, 16, 235);
}
int ExpectedChroma(int wr, int wg, int wb, const uint8_t* p0, const uint8_t* p1) {
    auto diff = [&](const uint8_t* p) { return Clip((wr * p[0] + wg * p[1] + wb * p[2] + 128) / 255, -32768, 32768); };
    int scaled = (diff(p0) + diff(p1)) * 224 / 2 + 32768;
    int shifted = scaled >= 0 ? scaled / 65536 : -((-scaled + 65535) / 65536);
    return Clip(shifted + 128, 16, 240);
}

struct Fixture {
    const char* name;
    int width, height;
};

class FixtureTest : public PictureInputTest, public ::testing::WithParamInterface<Fixture> {};

TEST_P(FixtureTest, PlanesMatchAnIndependentDecode) {
    const Fixture& f = GetParam();
    std::string base = TestDataPath(std::string("tiff/data/") + f.name);
    std::string tif = base + ".tif";
    std::vector<uint8_t> rgb = ReadFileBytes(base + ".rgb");
    ASSERT_EQ(rgb.size(), static_cast<size_t>(f.width) * f.height * 3);
    ASSERT_EQ(DetectSourceType(tif.c_str()), 1);
    ASSERT_EQ(ConvertSourcePicture(tif.c_str()), 0) << Text();
    EXPECT_EQ(gSettings.FrameWidth, f.width);
    EXPECT_EQ(gSettings.FrameHeight, f.height);
    for (int r = 0; r < f.height; ++r) {
        for (int c = 0; c < f.width; ++c) {
            const uint8_t* p = &rgb[(static_cast<size_t>(r) * f.width + c) * 3];
            ASSERT_EQ(gPlanes.y[r * f.width + c], ExpectedLuma(p[0], p[1], p[2])) << r << "," << c;
            if (c % 2 == 0) {
                size_t at = static_cast<size_t>(r) * (f.width / 2) + c / 2;
                ASSERT_EQ(gPlanes.cb[at], ExpectedChroma(-11076, -21692, 32768, p, p + 3)) << r << "," << c;
                ASSERT_EQ(gPlanes.cr[at], ExpectedChroma(32768, -27460, -5308, p, p + 3)) << r << "," << c;
            }
        }
    }
    // Only the picture planes stay allocated, and the source is closed.
    EXPECT_EQ(TrackedBlocks(), 3);
    EXPECT_EQ(gFileRegistry.count, 0);
    EXPECT_EQ(Text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Writers, FixtureTest,
    ::testing::Values(Fixture{"pil_rgb_96x64", 96, 64}, Fixture{"pil_grey_96x64", 96, 64},
                      Fixture{"pil_bilevel_96x64", 96, 64}, Fixture{"pil_palette_96x64", 96, 64},
                      Fixture{"im_rgb_176x144_le", 176, 144}, Fixture{"im_packbits_176x144_be", 176, 144},
                      Fixture{"im_rgb16_96x64_be", 96, 64}, Fixture{"im_rgb16_96x64_le", 96, 64},
                      Fixture{"im_grey4_96x64", 96, 64}, Fixture{"tiffcp_rgb_96x64_be", 96, 64},
                      Fixture{"tiffcp_packbits_96x64_le", 96, 64}, Fixture{"tiffcp_packbits_352x240_be", 352, 240},
                      Fixture{"tiffcp_two_pages_96x64", 96, 64}),
    [](const ::testing::TestParamInfo<Fixture>& info) { return std::string(info.param.name); });

TEST_F(PictureInputTest, FlatFullSizePackBitsPicture) {
    std::string tif = TestDataPath("tiff/data/tiffcp_packbits_flat_720x576.tif");
    ASSERT_EQ(ConvertSourcePicture(tif.c_str()), 0) << Text();
    EXPECT_EQ(gSettings.FrameWidth, 720);
    EXPECT_EQ(gSettings.FrameHeight, 576);
    // 720 x 576: Y 414720 bytes, Cb and Cr 207360 bytes of 360-sample rows.
    for (int n = 0; n < 414720; ++n) ASSERT_EQ(gPlanes.y[n], ExpectedLuma(90, 90, 90));
    for (int n = 0; n < 207360; ++n) ASSERT_EQ(gPlanes.cb[n], 128);
}

TEST_F(PictureInputTest, AlphaFromPillowIsRefused) {
    std::string tif = TestDataPath("tiff/data/pil_rgba_96x64.tif");
    EXPECT_EQ(ConvertSourcePicture(tif.c_str()), -1);
    EXPECT_EQ(Text(), Unsupported(tif));
}

TEST_F(PictureInputTest, OwnWriterVariantsConvertLikeThePlainPicture) {
    std::vector<uint8_t> rgb = Pattern(352, 240);
    ASSERT_EQ(Convert(MakeRgbTiff(352, 240, rgb)), 0);
    std::vector<uint8_t> y(gPlanes.y, gPlanes.y + 352 * 240), cb(gPlanes.cb, gPlanes.cb + 176 * 240);
    for (int variant = 0; variant < 4; ++variant) {
        ResetAllState();
        BindErrorText(text_, kModulePictor);
        TiffOptions options;
        options.longDimensions = variant == 0;
        options.fillOrder2 = variant == 1;
        options.packBits = variant != 0;
        options.bigEndian = variant >= 2;
        options.rowsPerStrip = variant == 3 ? 7 : 0;
        options.bitsPerSample = variant == 2 ? 16 : 8;
        ASSERT_EQ(Convert(MakeRgbTiff(352, 240, rgb, options)), 0) << variant << Text();
        EXPECT_TRUE(std::equal(y.begin(), y.end(), gPlanes.y)) << variant;
        EXPECT_TRUE(std::equal(cb.begin(), cb.end(), gPlanes.cb)) << variant;
    }
}

TEST_F(PictureInputTest, PlaneSizesAndFailures) {
    gSettings.FrameWidth = 720;
    gSettings.FrameHeight = 576;
    ASSERT_EQ(AllocatePicturePlanes(), 0);
    EXPECT_EQ(TrackedBlocks(), 6);
    std::string missing = dir_ / "none.tif";
    EXPECT_EQ(ConvertSourcePicture(missing.c_str()), -1);
    EXPECT_EQ(Text(), Line(13, "Cannot open TIFF source file <" + missing + ">"));
}

}  // namespace
