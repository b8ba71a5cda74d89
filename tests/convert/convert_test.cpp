// The conversion call on pictures from real writers: each NAME.tif of tests/tiff/data gives, within
// a level, the planes of the RGB pixels that an independent decoder gives in NAME.rgb, and keeps
// nothing but the picture planes. The levels themselves are pinned by the end-to-end table; the
// writer's layouts, each path through the strips, are the picture input's tests.
#include <filesystem>
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

INSTANTIATE_TEST_SUITE_P(Writers, FixtureTest, ::testing::ValuesIn(Fixtures()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

}  // namespace
