#include "tiff/tiff_test_support.h"

namespace {

class FieldsTest : public PictureInputTest {
protected:
    // A 96 x 64 RGB picture whose directory gets `extra` appended (a later
    // entry of the same tag wins) and then converted.
    int ConvertWith(std::vector<TiffEntry> extra, TiffOptions options = TiffOptions{}) {
        TiffFile tiff = RgbTiffLayout(96, 64, Pattern(96, 64), options);
        tiff.entries.insert(tiff.entries.end(), extra.begin(), extra.end());
        return Convert(WriteTiffFile(tiff));
    }
};

struct FieldCase {
    const char* name;
    TiffEntry entry;
    bool accepted;
};

class FieldTableTest : public FieldsTest, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(FieldTableTest, EntryIsAcceptedOrRefused) {
    const FieldCase& c = GetParam();
    int result = ConvertWith({c.entry});
    if (c.accepted) {
        EXPECT_EQ(result, 0) << Text();
        EXPECT_EQ(Text(), "");
    } else {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(Text(), Unsupported(path_));
        EXPECT_TRUE(gTiffFields.status & kTiffUnsupported);
        EXPECT_EQ(gPlanes.y, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tags, FieldTableTest,
    ::testing::Values(
        FieldCase{"NewSubfile2", Long(254, {2}), true}, FieldCase{"NewSubfile1", Long(254, {1}), false},
        FieldCase{"NewSubfileShortIgnored", Short(254, {1}), true}, FieldCase{"Subfile1", Short(255, {1}), true},
        FieldCase{"Subfile2", Short(255, {2}), false}, FieldCase{"SubfileLongIgnored", Long(255, {2}), true},
        FieldCase{"WidthLong640", Long(256, {640}), false}, FieldCase{"HeightLong100", Long(257, {100}), false},
        FieldCase{"Compression2", Short(259, {2}), false}, FieldCase{"Compression7", Short(259, {7}), false},
        FieldCase{"CompressionLongIgnored", Long(259, {5}), true},
        FieldCase{"PhotometricYCbCr", Short(262, {6}), false}, FieldCase{"Orientation4", Short(274, {4}), true},
        FieldCase{"Orientation5", Short(274, {5}), false}, FieldCase{"Orientation0", Short(274, {0}), false},
        FieldCase{"Planar2", Short(284, {2}), false}, FieldCase{"ExtraAlpha", Short(338, {2}), false},
        FieldCase{"ExtraAlphaInLastPlace", Short(338, {0, 0, 0, 0, 0, 0, 0, 1}), false},
        FieldCase{"ExtraKindsBeyondTheTableDropped", Short(338, std::vector<uint32_t>(20, 0)), true},
        FieldCase{"EmptyCountGivesZero", TiffEntry{274, kShort, 0, {}}, false},
        FieldCase{"RationalValuesIgnored", TiffEntry{259, kRational, 1, {5, 1}}, true},
        FieldCase{"BitsPerSampleBeyondTheTable", Short(258, std::vector<uint32_t>(40, 8)), true},
        FieldCase{"ColorMapBeyondTheTable", Short(320, std::vector<uint32_t>(1000, 0xFFFF)), true},
        FieldCase{"SamplesPerPixel12", Short(277, {12}), false},
        FieldCase{"StripCount577", Long(273, std::vector<uint32_t>(577, 8)), false}),
    [](const ::testing::TestParamInfo<FieldCase>& info) { return std::string(info.param.name); });

TEST_F(FieldsTest, ShortWidthAndHeightGiveTheirMessagesInEntryOrder) {
    TiffFile tiff = RgbTiffLayout(96, 64, Pattern(96, 64), TiffOptions{});
    tiff.entries[1] = Short(256, {640});
    tiff.entries[2] = Short(257, {100});
    EXPECT_EQ(Convert(WriteTiffFile(tiff)), -1);
    EXPECT_EQ(Text(), Line(10, "Image width [640] is not supported <pic.tif> ") +
                          Line(11, "Image height [100] is not supported <pic.tif> ") + Unsupported(path_));
    EXPECT_EQ(gSettings.FrameWidth, 640);
}

// A repeated tag hands on both entries: the later values stay, and a flag
// raised by the earlier one stays raised.
TEST_F(FieldsTest, RepeatedTagsKeepTheLaterValues) {
    EXPECT_EQ(ConvertWith({Short(256, {176}), Short(256, {96})}), 0) << Text();
    EXPECT_EQ(gSettings.FrameWidth, 96);
    ResetAllState();
    BindErrorText(text_, kModulePictor);
    std::strcpy(gSwitches.pictureName, "pic.tif");
    EXPECT_EQ(ConvertWith({Short(256, {100}), Short(256, {96})}), -1);
    EXPECT_EQ(Text(), Line(10, "Image width [100] is not supported <pic.tif> ") + Unsupported(path_));
}

TEST_F(FieldsTest, LzwHasItsOwnMessageBeforeThePath) {
    EXPECT_EQ(ConvertWith({Short(259, {5})}), -1);
    EXPECT_EQ(Text(), Unsupported("pic.tif") + Unsupported(path_));
    std::string lzw = TestDataPath("tiff/data/im_lzw_96x64.tif");
    ResetAllState();
    BindErrorText(text_, kModulePictor);
    std::strcpy(gSwitches.pictureName, "pic.tif");
    EXPECT_EQ(ConvertSourcePicture(lzw.c_str()), -1);
    EXPECT_EQ(Text(), Unsupported("pic.tif") + Unsupported(lzw));
}

TEST_F(FieldsTest, RgbDepthsOtherThan8Or16GiveTheLayoutMessage) {
    TiffFile tiff = RgbTiffLayout(96, 64, Pattern(96, 64), TiffOptions{});
    tiff.entries.push_back(Short(258, {8, 8, 16}));
    tiff.entries.push_back(Short(256, {641}));
    EXPECT_EQ(Convert(WriteTiffFile(tiff)), -1);
    EXPECT_EQ(Text(), Line(10, "Image width [641] is not supported <pic.tif> ") + Unsupported("pic.tif") +
                          Unsupported(path_));
}

TEST_F(FieldsTest, RgbWithAFourthSampleConverts) {
    TiffOptions options;
    options.extraSamples = 1;
    EXPECT_EQ(ConvertWith({}, options), 0) << Text();
}

TEST_F(FieldsTest, MissingStripsOrByteCountsAreRefused) {
    for (uint16_t tag : {273, 279}) {
        ResetAllState();
        BindErrorText(text_, kModulePictor);
        TiffFile tiff = RgbTiffLayout(96, 64, Pattern(96, 64), TiffOptions{});
        for (size_t n = 0; n < tiff.entries.size(); ++n) {
            if (tiff.entries[n].tag == tag) tiff.entries.erase(tiff.entries.begin() + n);
        }
        EXPECT_EQ(Convert(WriteTiffFile(tiff)), -1);
        EXPECT_EQ(Text(), Unsupported(path_));
    }
}

TEST_F(FieldsTest, GreyAndPaletteDepthsOutsideOneFourEightAreRefused) {
    for (uint32_t photometric : {0u, 1u, 3u}) {
        for (uint32_t bits : {2u, 16u}) {
            ResetAllState();
            BindErrorText(text_, kModulePictor);
            TiffFile tiff;
            tiff.strips = {std::vector<uint8_t>(96 * 64 * 2)};
            tiff.entries = {Short(256, {96}), Short(257, {64}), Short(258, {bits}), Short(262, {photometric}),
                            Long(273, {}), Long(279, {})};
            EXPECT_EQ(Convert(WriteTiffFile(tiff)), -1);
            EXPECT_EQ(Text(), Unsupported(path_));
        }
    }
    ResetAllState();
    BindErrorText(text_, kModulePictor);
    std::string grey16 = TestDataPath("tiff/data/pil_grey16_96x64.tif");
    EXPECT_EQ(ConvertSourcePicture(grey16.c_str()), -1);
    EXPECT_EQ(Text(), Unsupported(grey16));
}

TEST_F(FieldsTest, LimitsOfTheStripTable) {
    // 576 strips of one row each pass; a 577th offset is refused (table above).
    std::vector<uint8_t> rgb = Pattern(96, 576);
    TiffOptions options;
    options.rowsPerStrip = 1;
    EXPECT_EQ(Convert(MakeRgbTiff(96, 576, rgb, options)), 0) << Text();
}

TEST_F(FieldsTest, NoPhotometricConvertsToBlackAndNoDimensionsTakesTheDefaults) {
    TiffFile tiff;
    tiff.strips = {std::vector<uint8_t>(720 * 480 * 3, 200)};
    tiff.entries = {Short(258, {8, 8, 8}), Long(273, {}), Short(277, {3}), Long(279, {})};
    ASSERT_EQ(Convert(WriteTiffFile(tiff)), 0) << Text();
    EXPECT_EQ(gSettings.FrameWidth, 720);
    EXPECT_EQ(gSettings.FrameHeight, 480);
    for (size_t n = 0; n < 720 * 480; n += 1001) ASSERT_EQ(gPlanes.y[n], 16);
    for (size_t n = 0; n < 360 * 480; n += 1001) ASSERT_EQ(gPlanes.cb[n], 128);
}

}  // namespace
