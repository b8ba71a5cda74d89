// The conversion call on pictures from real writers: each NAME.tif of tests/tiff/data gives, within
// a level, the planes of the RGB pixels that an independent decoder gives in NAME.rgb, and keeps
// nothing but the picture planes. The levels themselves are pinned by the end-to-end table.
#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tiff/tiff_test_support.h"

namespace {

std::vector<std::string> Fixtures() {
    std::vector<std::string> names;
    for (const std::string& path : TestDataFiles("tiff/data", ".rgb"))
        names.push_back(std::filesystem::path(path).stem());
    return names;
}

class FixtureTest : public PictureInputTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(FixtureTest, PlanesMatchAnIndependentDecode) {
    const std::string data = TestDataPath("tiff/data/" + GetParam());
    ASSERT_EQ(ConvertSourcePicture((data + ".tif").c_str()), 0) << text_;
    const std::vector<uint8_t> rgb = ReadFileBytes(data + ".rgb");
    const uint32_t pixels = tTiffFields->imageWidth * tTiffFields->imageLength;
    ASSERT_EQ(rgb.size(), size_t{pixels} * 3);
    for (uint32_t n = 0; n < pixels; n += 2) {
        const std::vector<int> got = Got(n), want = Want(&rgb[n * 3], &rgb[n * 3 + 3]);
        for (int k = 0; k < 4; ++k) ASSERT_NEAR(got[k], want[k], 1) << "pixel " << n << ", " << k;
    }
    // The source is closed and the working planes given back.
    EXPECT_EQ(TrackedBlocks(), 3);
    EXPECT_EQ(tFileRegistry->count, 0);
}

// Strips whose rows hold whole 8-bit RGB pixels are converted from the strip's bytes, the others
// through the working band: every layout gives the planes the same samples give from memory.
struct Layout {
    const char* name;
    TiffOptions options;
};

void PrintTo(const Layout& l, std::ostream* os) { *os << l.name; }

TiffOptions Strips(int rows, void (*change)(TiffOptions*) = nullptr) {
    TiffOptions options;
    options.rowsPerStrip = rows;
    if (change != nullptr) change(&options);
    return options;
}

const Layout kLayouts[] = {
    {"OneStrip", Strips(0)},
    {"RowStrips", Strips(1)},
    {"ShortLastStrip", Strips(23)},
    {"BigEndian", Strips(16, [](TiffOptions* o) { o->bigEndian = true; })},
    {"PackBits", Strips(16, [](TiffOptions* o) { o->packBits = true; })},
    {"FillOrder2", Strips(16, [](TiffOptions* o) { o->fillOrder2 = true; })},
    {"SixteenBits", Strips(16, [](TiffOptions* o) { o->bitsPerSample = 16; })},
    {"ExtraSample", Strips(16, [](TiffOptions* o) { o->extraSamples = 1; })},
};

class LayoutTest : public PictureInputTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(LayoutTest, PlanesAreThoseOfTheSamplesInMemory) {
    constexpr uint32_t kWidth = 96, kHeight = 64;
    std::mt19937 random(17);
    std::vector<uint8_t> rgb(kWidth * kHeight * 3);
    for (uint8_t& v : rgb) v = static_cast<uint8_t>(random());
    ASSERT_EQ(ConvertRgbPicture(RgbSamples{rgb.data(), kWidth, kHeight, 3 * kWidth}, kVideoLevels),
              0);
    const std::vector<uint8_t> y(tPlanes->y, tPlanes->y + kWidth * kHeight);
    const std::vector<uint8_t> cb(tPlanes->cb, tPlanes->cb + kWidth / 2 * kHeight);
    const std::vector<uint8_t> cr(tPlanes->cr, tPlanes->cr + kWidth / 2 * kHeight);
    TearDown();
    SetUp();
    const std::string path = Write(MakeRgbTiff(kWidth, kHeight, rgb, GetParam().options));
    ASSERT_EQ(ConvertSourcePicture(path.c_str()), 0) << text_;
    EXPECT_TRUE(std::equal(y.begin(), y.end(), tPlanes->y));
    EXPECT_TRUE(std::equal(cb.begin(), cb.end(), tPlanes->cb));
    EXPECT_TRUE(std::equal(cr.begin(), cr.end(), tPlanes->cr));
    EXPECT_EQ(TrackedBlocks(), 3);
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutTest, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& info) {
                             return std::string(info.param.name);
                         });

INSTANTIATE_TEST_SUITE_P(Writers, FixtureTest, ::testing::ValuesIn(Fixtures()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

}  // namespace
