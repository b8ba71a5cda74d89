// Malformed source pictures: each fails with its messages and touches nothing outside a buffer
// (the sanitizer build); what a failed conversion leaves registered, the job releases. Add a
// file here with its messages and how it was made.
//
// "good" below: a little-endian 96 x 64 RGB picture, 8 bits a sample, one
// uncompressed strip of zeros after the header, entries 256-259, 262, 273,
// 277, 278 (64) and 279, longer values between the strip and the directory;
// "+ entry" is appended after them (a later entry wins).
#include <dirent.h>

#include <set>

#include "tiff/tiff_detect.h"
#include "tiff/tiff_test_support.h"

namespace {

// detected: DetectSourceType's result; codes: the messages, in order.
struct Crasher {
    const char* name;
    int detected;
    std::vector<int> codes;
};

const Crasher kCrashers[] = {
    {"empty.tif", 0, {}},                        // no bytes
    {"one_byte.tif", 0, {}},                     // "I"
    {"text_file.tif", 0, {}},                    // "hello, not a picture\n"
    {"header_only.tif", 1, {19}},                // "II*\0"
    {"header_cut_in_offset.tif", 1, {19}},       // "MM\0*\0\0"
    {"big_endian_cut.tif", 1, {19}},             // big endian, one entry 256 = 96; first 14 bytes
    {"directory_offset_past_end.tif", 1, {19}},  // good, header points at 0xFFFFFF00
    {"entry_count_65535.tif", 1, {19}},          // good, entry count 65535
    {"directory_cut.tif", 1, {19}},              // good less its last 40 bytes
    {"value_offset_past_end.tif", 1, {19}},      // good + 258 SHORT x 3 at 0x7FFFFFF0
    {"strip_offsets_65535_past_end.tif", 1, {19}},  // good + 273 LONG x 65535 at 0x10
    // 65535 entries claimed, 64 held, each 273 LONG x 65535 at 0x10
    {"strip_offsets_65535_entries_claimed.tif", 1, {19}},
    {"strip_bytecount_4gb.tif", 1, {18}},           // good + 279 = 0xFFFFFFF0
    {"strip_offset_past_end.tif", 1, {18}},         // good + 273 = 0xFFFFFF00
    {"strip_cut_short.tif", 1, {18}},               // good + 279 = strip length + 4096
    {"no_strip_byte_counts.tif", 1, {19}},          // good without 279
    {"no_strip_offsets.tif", 1, {19}},              // good without 273
    {"packbits_input_ends.tif", 1, {16}},           // good, PackBits, strip 81 07 x 10
    {"packbits_literal_past_input.tif", 1, {16}},   // as above, then 7F 01 02
    {"packbits_repeat_without_byte.tif", 1, {16}},  // good, PackBits, strip 81 07 FE
    {"packbits_empty_strip.tif", 1, {16}},          // good, PackBits, empty strip
    {"grey_16bit.tif", 1, {19}},              // 96 x 64, 258 = 16, 262 = 1, 273, 279; zero strip
    {"palette_2bit.tif", 1, {19}},            // 96 x 64, 258 = 2, 262 = 3, 273, 279; zero strip
    {"width_zero.tif", 1, {19}},              // good + 256 LONG 0
    {"width_huge_long.tif", 1, {19}},         // good + 256 LONG 0x7FFFFFFF, 257 LONG 0xFFFFFFFF
    {"samples_per_pixel_zero.tif", 1, {19}},  // good + 277 = 0
    {"lzw.tif", 1, {19, 19}},                 // good, 259 = 5, strip of 100 zero bytes
};

PICTOR_PRINTS_ITS_NAME(Crasher)

class CrasherTest : public PictureInputTest, public ::testing::WithParamInterface<Crasher> {};

TEST_P(CrasherTest, FailsCleanly) {
    const Crasher& c = GetParam();
    std::string path = TestDataPath(std::string("crashers/") + c.name);
    ASSERT_TRUE(FileExists(path));
    EXPECT_EQ(DetectSourceType(path.c_str()), c.detected);
    EXPECT_EQ(ConvertSourcePicture(path.c_str()), -1);
    EXPECT_EQ(Codes(), c.codes) << text_;
    if (!c.codes.empty() && c.codes.back() == 19) ExpectRefused(path);
}

INSTANTIATE_TEST_SUITE_P(Files, CrasherTest, ::testing::ValuesIn(kCrashers),
                         [](const ::testing::TestParamInfo<Crasher>& info) {
                             std::string name = info.param.name;
                             return name.substr(0, name.size() - 4);
                         });

TEST(CrasherList, CoversTheFolder) {
    std::set<std::string> listed;
    for (const Crasher& c : kCrashers) listed.insert(c.name);
    DIR* dir = opendir(TestDataPath("crashers").c_str());
    ASSERT_NE(dir, nullptr);
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        EXPECT_TRUE(name.size() < 5 || name.substr(name.size() - 4) != ".tif" || listed.count(name))
            << name;
    }
    closedir(dir);
}

}  // namespace
