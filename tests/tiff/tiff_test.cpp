// Picture input: which directories are accepted, and how each stored layout
// reaches the picture planes. The levels themselves are pinned in convert/.
#include "tiff/tiff_test_support.h"

namespace {

// The writer's RGB picture, 96 x 64 or 720 x 576 (large), with `entries` appended (a later entry
// of a tag wins). codes: the messages of a refusal; none: the picture converts, mirrored as its
// orientation says. Uncompressed strips go through a buffer a few rows at a time: a large strip
// comes out as a whole strip does, also when its byte count (cut) ends inside it and the samples
// past it read as 0.
struct RgbCase {
    const char* name;
    TiffOptions options;
    std::vector<TiffEntry> entries;
    std::vector<int> codes;
    bool large = false;
    uint32_t cut = 0;
};

void PrintTo(const RgbCase& c, std::ostream* os) { *os << c.name; }

class RgbTest : public PictureInputTest, public ::testing::WithParamInterface<RgbCase> {};

TEST_P(RgbTest, ConvertsOrIsRefusedBeforeAllocating) {
    const RgbCase& k = GetParam();
    const int w = k.large ? 720 : 96, h = k.large ? 576 : 64, orientation = k.options.orientation;
    std::vector<uint8_t> rgb(w * h * 3), want;
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>((i * 37) ^ (i / 97));
    TiffFile tiff = RgbTiffLayout(w, h, rgb, k.options);
    tiff.entries.insert(tiff.entries.end(), k.entries.begin(), k.entries.end());
    if (k.cut != 0) tiff.entries.push_back(Long(279, {k.cut}));
    ASSERT_EQ(ConvertSourcePicture(Write(WriteTiffFile(tiff)).c_str()), k.codes.empty() ? 0 : -1)
        << text_;
    EXPECT_EQ(Codes(), k.codes) << text_;
    if (!k.codes.empty()) {
        ExpectRefused(path_);
        EXPECT_EQ(tPlanes->y, nullptr);
        return;
    }
    // One 8-bit strip when cut: sample i of the picture is byte i of the strip.
    for (size_t i = k.cut; k.cut != 0 && i < rgb.size(); ++i) rgb[i] = 0;
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            int fr = orientation >= 3 ? h - 1 - r : r, fc = orientation % 4 >= 2 ? w - 1 - c : c;
            want.insert(want.end(), rgb.begin() + (fr * w + fc) * 3,
                        rgb.begin() + (fr * w + fc) * 3 + 3);
        }
    }
    for (int n = 0; n < w * h; n += 2) ASSERT_EQ(Got(n), Want(&want[n * 3], &want[n * 3 + 3])) << n;
}

using U = std::vector<uint32_t>;
U Ending(U values, uint32_t last) {
    values.push_back(last);
    return values;
}

const RgbCase kRgbCases[] = {
    // Options: big endian, rows per strip, PackBits, orientation, long sizes, FillOrder 2, bits,
    // extra samples.
    {"BigLongSizesStripsOf7", {true, 7, false, 1, true}, {}, {}},
    {"RowStrips", {false, 1}, {}, {}},
    {"PackBitsStripsOf5", {false, 5, true}, {}, {}},
    {"FillOrder2PackBitsBig", {true, 16, true, 0, false, true}, {}, {}},
    {"SixteenExtraPackBits", {false, 9, true, 0, false, false, 16, 1}, {}, {}},
    {"TwoExtraNoRowsPerStrip", {false, 0, false, 0, false, false, 8, 2, false}, {}, {}},
    {"Orientation2", {false, 0, false, 2}, {}, {}},
    {"Orientation3PackBitsBig", {true, 10, true, 3}, {}, {}},
    {"Orientation4FillOrder2", {false, 0, false, 4, false, true}, {}, {}},
    {"LargeFillOrder2", {false, 0, false, 0, false, true}, {}, {}, true},
    {"LargeSixteenStripsOf400", {true, 400, false, 0, false, false, 16}, {}, {}, true},
    {"LargeTwoExtraPackBitsStripsOf100", {false, 100, true, 0, false, false, 8, 2}, {}, {}, true},
    {"LargeCutInsideAPiece", {}, {}, {}, true, 1000003},
    {"LargeCutAtARow", {}, {}, {}, true, 720 * 3 * 200},
    // Entries.
    {"NewSubfile2", {}, {Long(254, {2})}, {}},
    {"NewSubfile1", {}, {Long(254, {1})}, {19}},
    {"NewSubfileShortIgnored", {}, {Short(254, {1})}, {}},
    {"Subfile2", {}, {Short(255, {2})}, {19}},
    {"SubfileLongIgnored", {}, {Long(255, {2})}, {}},
    {"WidthLong640", {}, {Long(256, {640})}, {19}},
    {"SizesShortInEntryOrder", {}, {Short(256, {640}), Short(257, {100})}, {10, 11, 19}},
    {"RepeatedWidthLaterWins", {}, {Short(256, {176}), Short(256, {96})}, {}},
    {"RepeatedWidthRefusalStays", {}, {Short(256, {100}), Short(256, {96})}, {10, 19}},
    {"RgbDepth8_8_16", {}, {Short(258, {8, 8, 16}), Short(256, {641})}, {10, 19, 19}},
    {"Compression2", {}, {Short(259, {2})}, {19}},
    {"RationalIgnored", {}, {TiffEntry{259, kRational, 1, {5, 1}}}, {}},
    {"PhotometricYCbCr", {}, {Short(262, {6})}, {19}},
    {"Planar2", {}, {Short(284, {2})}, {19}},
    {"Orientation5", {}, {Short(274, {5})}, {19}},
    {"EmptyCountReadsZero", {}, {TiffEntry{274, kShort, 0, {}}}, {19}},
    {"ExtraAlphaInLastPlace", {}, {Short(338, {0, 0, 0, 0, 0, 0, 0, 1})}, {19}},
    // Values past the end of a fixed table are dropped; more samples than it has places are
    // refused.
    {"ExtraKindsBeyondTheTable", {}, {Short(338, U(20, 0))}, {}},
    {"BitsBeyondTheTable", {}, {Short(258, U(40, 8))}, {}},
    {"SamplesPerPixel12", {}, {Short(277, {12})}, {19}},
    {"ColorMapBeyondTheTable", {}, {Short(320, U(1000, 0xFFFF))}, {}},
    // Only the low 16 bits of an entry's count are used: 0x10003 is 3.
    {"CountLow16Bits", {}, {TiffEntry{258, kShort, 0x10003, {8, 8, 8}}}, {}},
    {"Strips576", {}, {Long(273, U(576, 8)), Long(279, U(576, 96 * 64 * 3))}, {}},
    {"Strips577", {}, {Long(273, U(577, 8))}, {19}},
    // Strip tables are left unread when the last StripOffsets entry has more strips than they
    // hold; a later entry that fits brings them back.
    {"Strips65535ThenOne",
     {},
     {Long(273, U(65535, 8)), Long(279, U(600, 1)), Long(273, {}), Long(279, {})},
     {}},
    // Of a long entry only the values a field keeps and the last one count.
    {"WidthLastOf1000Values", {}, {Short(256, Ending(U(999, 640), 96))}, {}},
};
INSTANTIATE_TEST_SUITE_P(Pictures, RgbTest, ::testing::ValuesIn(kRgbCases),
                         ::testing::PrintToStringParamName());

// One strip of the given bytes after ImageWidth 96, ImageLength 64 and the
// strip entries. Samples the strip lacks, and rows of missing strips, are 0.
struct Pair {
    int n;
    uint8_t p[3], q[3];
};
struct StripCase {
    const char* name;
    bool big;
    std::vector<TiffEntry> entries;
    std::vector<uint8_t> strip;
    std::vector<Pair> pixels;
};

void PrintTo(const StripCase& c, std::ostream* os) { *os << c.name; }

class StripTest : public PictureInputTest, public ::testing::WithParamInterface<StripCase> {};

TEST_P(StripTest, PixelsConvert) {
    const StripCase& k = GetParam();
    TiffFile tiff{
        k.big, {Short(256, {96}), Short(257, {64}), Long(273, {}), Long(279, {})}, {k.strip}};
    tiff.entries.insert(tiff.entries.end(), k.entries.begin(), k.entries.end());
    ASSERT_EQ(ConvertSourcePicture(Write(WriteTiffFile(tiff)).c_str()), 0) << text_;
    for (const Pair& x : k.pixels) EXPECT_EQ(Got(x.n), Want(x.p, x.q)) << x.n;
}

// Colour map entry i: ((5 i) mod 251) in the high byte, 0xFF in the low byte (dropped).
U Map(int n) {
    U map;
    for (int i = 0; i < n; ++i) map.push_back(static_cast<uint32_t>((i * 5 % 251) << 8 | 0xFF));
    return map;
}
// PackBits data: for each (runs, value), that many runs of 128 copies of the value.
std::vector<uint8_t> Repeats(const std::vector<std::pair<int, uint8_t>>& spans) {
    std::vector<uint8_t> bytes;
    for (const auto& [runs, value] : spans) {
        for (int i = 0; i < runs; ++i) {
            bytes.push_back(0x81);
            bytes.push_back(value);
        }
    }
    return bytes;
}
const std::vector<TiffEntry> kRgb16 = {Short(258, {16, 16, 16}), Short(262, {2}), Short(277, {3})};
const std::vector<TiffEntry> kPackBitsRows = {Short(258, {8}), Short(262, {1}), Short(259, {32773}),
                                              Short(278, {1})};

const StripCase kStripCases[] = {
    {"BilevelFillOrder2",
     false,
     {Short(258, {1}), Short(262, {1}), Short(266, {2})},
     {0x01},
     {{0, {255, 255, 255}, {0, 0, 0}}, {6, {0, 0, 0}, {0, 0, 0}}}},
    {"Grey4WhiteIsZero",
     false,
     {Short(258, {4}), Short(262, {0})},
     {0xF0},
     {{0, {0, 0, 0}, {255, 255, 255}}, {2, {255, 255, 255}, {255, 255, 255}}}},
    {"Grey8WhiteIsZero",
     false,
     {Short(258, {8}), Short(262, {0})},
     {0, 17},
     {{0, {255, 255, 255}, {238, 238, 238}}}},
    // 64 rows of 720 in one PackBits strip, unpacked a band of rows at a time: rows 0 - 31 are
    // 10, rows 32 - 63 are 200.
    {"Grey8PackBitsWide",
     false,
     {Short(258, {8}), Short(262, {1}), Short(259, {32773}), Short(256, {720})},
     Repeats({{180, 10}, {180, 200}}),
     {{31 * 720, {10, 10, 10}, {10, 10, 10}},
      {32 * 720, {200, 200, 200}, {200, 200, 200}},
      {63 * 720 + 718, {200, 200, 200}, {200, 200, 200}}}},
    {"Palette8Big",
     true,
     {Short(258, {8}), Short(262, {3}), Short(320, Map(768))},
     {0, 1, 255},
     {{0, {0, 25, 50}, {5, 30, 55}}, {2, {20, 45, 70}, {0, 25, 50}}}},
    {"Palette4",
     false,
     {Short(258, {4}), Short(262, {3}), Short(320, Map(48))},
     {0x3C},
     {{0, {15, 95, 175}, {60, 140, 220}}}},
    {"Palette1",
     false,
     {Short(258, {1}), Short(262, {3}), Short(320, Map(6))},
     {0x40},
     {{0, {0, 10, 20}, {5, 15, 25}}}},
    // The high byte of a 16-bit sample: the second in a little-endian file, the first in a
    // big-endian one.
    {"Rgb16Little",
     false,
     kRgb16,
     {0, 0x11, 0, 0x22, 0, 0x33, 0xFF, 0x44, 0xFF, 0x55, 0xFF, 0x66},
     {{0, {0x11, 0x22, 0x33}, {0x44, 0x55, 0x66}}}},
    {"Rgb16Big",
     true,
     kRgb16,
     {0x11, 0, 0x22, 0, 0x33, 0, 0x44, 0xFF, 0x55, 0xFF, 0x66, 0xFF},
     {{0, {0x11, 0x22, 0x33}, {0x44, 0x55, 0x66}}}},
    // A -128 header is skipped; the repeat of 128 is cut at the row's end; the last byte is
    // left over.
    {"PackBitsRepeatCut",
     false,
     kPackBitsRows,
     {0x80, 0xC1, 7, 0x81, 9, 0x55},
     {{62, {7, 7, 7}, {7, 7, 7}},
      {64, {9, 9, 9}, {9, 9, 9}},
      {94, {9, 9, 9}, {9, 9, 9}},
      {96, {0, 0, 0}, {0, 0, 0}}}},
    // A literal of 128 with 3 bytes present is cut at the input's end and at the row's.
    {"PackBitsLiteralCut",
     false,
     kPackBitsRows,
     {0xA2, 5, 0x7F, 1, 2, 3},
     {{94, {5, 5, 5}, {1, 1, 1}}, {96, {0, 0, 0}, {0, 0, 0}}}},
};
INSTANTIATE_TEST_SUITE_P(Samples, StripTest, ::testing::ValuesIn(kStripCases),
                         ::testing::PrintToStringParamName());

}  // namespace
