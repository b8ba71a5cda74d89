// Malformed source pictures: each fails with its messages and touches nothing outside a buffer
// (the sanitizer build); what a failed conversion leaves registered, the job releases. Every
// .tif file of the folder is a case: add one here with its messages and how it was made.
//
// "good" below: a little-endian 96 x 64 RGB picture, 8 bits a sample, one
// uncompressed strip of zeros after the header, entries 256-259, 262, 273,
// 277, 278 (64) and 279, longer values between the strip and the directory;
// "+ entry" is appended after them (a later entry wins).
#include <filesystem>
#include <map>

#include "tiff/tiff_detect.h"
#include "tiff/tiff_test_support.h"

namespace {

// The messages of each file, in order; none: the file is not taken for a TIFF picture at all.
const std::map<std::string, std::vector<int>> kCodes = {
    {"empty.tif", {}},                        // no bytes
    {"one_byte.tif", {}},                     // "I"
    {"text_file.tif", {}},                    // "hello, not a picture\n"
    {"header_only.tif", {19}},                // "II*\0"
    {"header_cut_in_offset.tif", {19}},       // "MM\0*\0\0"
    {"big_endian_cut.tif", {19}},             // big endian, one entry 256 = 96; first 14 bytes
    {"directory_offset_past_end.tif", {19}},  // good, header points at 0xFFFFFF00
    {"entry_count_65535.tif", {19}},          // good, entry count 65535
    // A directory of 65535 entries, all in the file: 273 LONG x 65535 at offset 0 (over the
    // directory), then 256 SHORT 640. The walk reaches the width; the strip tables are not read.
    {"directory_65535_entries_in_file.tif", {10, 19}},
    {"directory_cut.tif", {19}},                 // good less its last 40 bytes
    {"value_offset_past_end.tif", {19}},         // good + 258 SHORT x 3 at 0x7FFFFFF0
    {"strip_offsets_65535_past_end.tif", {19}},  // good + 273 LONG x 65535 at 0x10
    // 65535 entries claimed, 64 held, each 273 LONG x 65535 at 0x10
    {"strip_offsets_65535_entries_claimed.tif", {19}},
    {"strip_bytecount_4gb.tif", {18}},           // good + 279 = 0xFFFFFFF0
    {"strip_offset_past_end.tif", {18}},         // good + 273 = 0xFFFFFF00
    {"strip_cut_short.tif", {18}},               // good + 279 = strip length + 4096
    {"no_strip_byte_counts.tif", {19}},          // good without 279
    {"no_strip_offsets.tif", {19}},              // good without 273
    {"packbits_input_ends.tif", {16}},           // good, PackBits, strip 81 07 x 10
    {"packbits_literal_past_input.tif", {16}},   // as above, then 7F 01 02
    {"packbits_repeat_without_byte.tif", {16}},  // good, PackBits, strip 81 07 FE
    {"packbits_empty_strip.tif", {16}},          // good, PackBits, empty strip
    {"grey_16bit.tif", {19}},                    // 96 x 64, 258 = 16, 262 = 1, 273, 279; zero strip
    {"palette_2bit.tif", {19}},                  // 96 x 64, 258 = 2, 262 = 3, 273, 279; zero strip
    {"width_zero.tif", {19}},                    // good + 256 LONG 0
    {"width_huge_long.tif", {19}},               // good + 256 LONG 0x7FFFFFFF, 257 LONG 0xFFFFFFFF
    {"samples_per_pixel_zero.tif", {19}},        // good + 277 = 0
    {"lzw.tif", {19, 19}},                       // good, 259 = 5, strip of 100 zero bytes
};

// The folder's .tif files, in name order.
std::vector<std::string> CrasherFiles() {
    std::vector<std::string> names;
    for (const std::string& path : TestDataFiles("crashers", ".tif"))
        names.push_back(std::filesystem::path(path).filename());
    return names;
}

class CrasherTest : public PictureInputTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(CrasherTest, FailsCleanly) {
    const std::string path = TestDataPath("crashers/" + GetParam());
    const auto codes = kCodes.find(GetParam());
    ASSERT_TRUE(codes != kCodes.end()) << "list the messages of " << GetParam();
    EXPECT_EQ(DetectSourceType(path.c_str()), codes->second.empty() ? 0 : 1);
    EXPECT_EQ(ConvertSourcePicture(path.c_str()), -1);
    EXPECT_EQ(Codes(), codes->second) << text_;
    if (!codes->second.empty() && codes->second.back() == 19) ExpectRefused(path);
}

INSTANTIATE_TEST_SUITE_P(Files, CrasherTest, ::testing::ValuesIn(CrasherFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param.substr(0, info.param.size() - 4);
                         });

}  // namespace
