// Malformed source pictures: each fails with -1 and its message, reads and
// writes nothing outside a buffer, and leaves nothing behind once the
// registries are emptied. Add a file here with its expected last message.
#include <dirent.h>

#include <set>

#include "tiff/tiff_test_support.h"

namespace {

struct Crasher {
    const char* name;
    int detected;  // DetectSourceType's result
    int lastCode;  // code of the last line of the error text, 0 for none
};

const Crasher kCrashers[] = {
    {"empty.tif", 0, 0},
    {"one_byte.tif", 0, 0},
    {"text_file.tif", 0, 0},
    {"header_only.tif", 1, 19},
    {"header_cut_in_offset.tif", 1, 19},
    {"big_endian_cut.tif", 1, 19},
    {"directory_offset_past_end.tif", 1, 19},
    {"entry_count_65535.tif", 1, 19},
    {"directory_cut.tif", 1, 19},
    {"value_offset_past_end.tif", 1, 19},
    {"strip_offsets_65535_past_end.tif", 1, 19},
    {"strip_bytecount_4gb.tif", 1, 18},
    {"strip_offset_past_end.tif", 1, 18},
    {"strip_cut_short.tif", 1, 18},
    {"no_strip_byte_counts.tif", 1, 19},
    {"no_strip_offsets.tif", 1, 19},
    {"packbits_input_ends.tif", 1, 16},
    {"packbits_literal_past_input.tif", 1, 16},
    {"packbits_repeat_without_byte.tif", 1, 16},
    {"packbits_empty_strip.tif", 1, 16},
    {"grey_16bit.tif", 1, 19},
    {"palette_2bit.tif", 1, 19},
    {"width_zero.tif", 1, 19},
    {"width_huge_long.tif", 1, 19},
    {"samples_per_pixel_zero.tif", 1, 19},
    {"lzw.tif", 1, 19},
};

class CrasherTest : public PictureInputTest, public ::testing::WithParamInterface<Crasher> {};

TEST_P(CrasherTest, FailsCleanly) {
    const Crasher& c = GetParam();
    std::string path = TestDataPath(std::string("crashers/") + c.name);
    ASSERT_TRUE(FileExists(path));
    EXPECT_EQ(DetectSourceType(path.c_str()), c.detected);
    EXPECT_EQ(ConvertSourcePicture(path.c_str()), -1);
    std::string text = Text();
    if (c.lastCode == 0) {
        EXPECT_EQ(text, "");
    } else {
        std::string prefix = "Pictor error " + std::to_string(c.lastCode) + ": ";
        size_t last = text.rfind("Pictor error ");
        ASSERT_NE(last, std::string::npos) << text;
        EXPECT_EQ(text.compare(last, prefix.size(), prefix), 0) << text;
        if (c.lastCode == 19) {
            EXPECT_EQ(text.substr(last), Unsupported(path));
        }
    }
    FreeAllTracked();
    CloseAllTracked();
    EXPECT_EQ(TrackedBlocks(), 0);
    EXPECT_EQ(gFileRegistry.count, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, CrasherTest, ::testing::ValuesIn(kCrashers),
                         [](const ::testing::TestParamInfo<Crasher>& info) {
                             std::string name = info.param.name;
                             return name.substr(0, name.size() - 4);
                         });

// Every picture in the folder is listed above.
TEST(CrasherList, CoversTheFolder) {
    std::set<std::string> listed;
    for (const Crasher& c : kCrashers) listed.insert(c.name);
    DIR* dir = opendir(TestDataPath("crashers").c_str());
    ASSERT_NE(dir, nullptr);
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tif") == 0) {
            EXPECT_TRUE(listed.count(name)) << name;
        }
    }
    closedir(dir);
}

}  // namespace
