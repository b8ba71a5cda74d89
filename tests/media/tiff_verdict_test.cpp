// TIFFs that the library reads otherwise than libtiff are converted and come out as libtiff
// reads them; the sizes the command, its help and its manual page name are the library's table.
#include <gtest/gtest.h>

#include <algorithm>

#include "door/library_door.h"
#include "media/picture_input.h"
#include "media/reference_planes.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/tiff_writer.h"

namespace {

constexpr int kWidth = 96;
constexpr int kHeight = 64;

// An 8-bit palette picture of 16 colours in vertical bars, with `map` as its ColorMap entry
// (`count` values as written; none when the map is empty).
TiffFile PaletteTiff(const std::vector<uint32_t>& map, uint32_t count) {
    TiffFile file;
    std::vector<uint8_t> indices(kWidth * kHeight);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint8_t>(i % kWidth / 6);
    file.strips.push_back(indices);
    file.entries = {Short(256, {kWidth}), Short(257, {kHeight}), Short(258, {8}),
                    Short(259, {1}),      Short(262, {3}),       Long(273, {}),
                    Short(277, {1}),      Short(278, {kHeight}), Long(279, {})};
    if (!map.empty()) file.entries.push_back(TiffEntry{320, kShort, count, map});
    return file;
}

// Red, green and blue of each of 256 colours, as `scale` times a level below 256.
std::vector<uint32_t> ColourMap(uint32_t scale) {
    std::vector<uint32_t> map(3 * 256);
    for (uint32_t k = 0; k < 256; ++k) {
        map[k] = (16 * k % 256) * scale;
        map[256 + k] = (255 - 16 * k % 256) * scale;
        map[512 + k] = (8 * k % 256) * scale;
    }
    return map;
}

// The bars as libtiff shows them: each index through the map's 8-bit levels, or as grey.
RgbPicture PaletteAsRead(const std::vector<uint32_t>& levels) {
    RgbPicture picture{kWidth, kHeight, {}};
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const uint32_t index = static_cast<uint32_t>(i % kWidth / 6);
        for (int c = 0; c < 3; ++c)
            picture.rgb.push_back(
                static_cast<uint8_t>(levels.empty() ? index : levels[256 * c + index]));
    }
    return picture;
}

// 16-bit RGB whose samples all have a low byte of 255, in the writer's test pattern; libtiff
// rounds each sample to 8 bits, (s + 128) / 257.
std::pair<TiffFile, RgbPicture> DeepRgb() {
    const std::vector<uint8_t> pattern = TestPatternRgb(kWidth, kHeight);
    TiffFile file;
    std::vector<uint8_t> samples;
    RgbPicture rounded{kWidth, kHeight, {}};
    for (uint8_t v : pattern) {
        samples.push_back(255);  // little-endian: the low byte first
        samples.push_back(v);
        rounded.rgb.push_back(static_cast<uint8_t>((v * 256u + 255u + 128u) / 257u));
    }
    file.strips.push_back(samples);
    file.entries = {Short(256, {kWidth}), Short(257, {kHeight}), Short(258, {16, 16, 16}),
                    Short(259, {1}),      Short(262, {2}),       Long(273, {}),
                    Short(277, {3}),      Short(278, {kHeight}), Long(279, {})};
    return {file, rounded};
}

struct ReadOtherwise {
    const char* name;
    TiffFile file;
    RgbPicture asLibtiffReadsIt;
};

void PrintTo(const ReadOtherwise& c, std::ostream* os) { *os << c.name; }

std::vector<ReadOtherwise> Cases() {
    return {
        {"palette_map_below_256", PaletteTiff(ColourMap(1), 768), PaletteAsRead(ColourMap(1))},
        {"palette_map_short", PaletteTiff(ColourMap(257), 765), PaletteAsRead({})},
        {"palette_without_map", PaletteTiff({}, 0), PaletteAsRead({})},
        {"rgb_16bit", DeepRgb().first, DeepRgb().second},
    };
}

class ReadOtherwiseCases : public ::testing::TestWithParam<ReadOtherwise> {};

// The library's own reading of the file differs from libtiff's, so the file is not taken as it
// is; the conversion holds libtiff's reading, and the library codes that.
TEST_P(ReadOtherwiseCases, ConvertedAsLibtiffReadsIt) {
    const ReadOtherwise& c = GetParam();
    TempDir dir;
    const std::string path = dir / "picture.tif", converted = dir / "converted.tif";
    WriteFileBytes(path, WriteTiffFile(c.file));
    std::string why, error;
    EXPECT_FALSE(LibraryTakesAsIs(path, &why));
    RgbPicture picture;
    ASSERT_TRUE(ReadPicture(path, Rgb8{}, &picture, &error)) << error;
    EXPECT_EQ(picture.rgb, c.asLibtiffReadsIt.rgb);
    ASSERT_TRUE(WriteRgbTiff(converted, picture, &error)) << error;
    ASSERT_TRUE(LibraryTakesAsIs(converted, &why)) << why;
    YuvPlanes asIs, viaConversion;
    ASSERT_TRUE(ReferencePlanesFromTiff(path, 0, &asIs, &error)) << error;
    ASSERT_TRUE(ReferencePlanesFromTiff(converted, 0, &viaConversion, &error)) << error;
    EXPECT_NE(asIs.y, viaConversion.y);
}

INSTANTIATE_TEST_SUITE_P(Files, ReadOtherwiseCases, ::testing::ValuesIn(Cases()),
                         ::testing::PrintToStringParamName());

// The sizes of the table, in its order, that `pick` keeps.
template <typename Entry, size_t N, typename Pick, typename Size>
std::vector<std::string> Kept(const Entry (&table)[N], Pick pick, Size size) {
    std::vector<std::string> kept;
    for (const Entry& e : table) {
        if (pick(e)) kept.push_back(std::to_string(size(e)));
    }
    return kept;
}

// "a, b or c" (`last` before the last one, `second` before the second).
std::string Joined(const std::vector<std::string>& kept, const std::string& last,
                   const std::string& second = ", ") {
    std::string text;
    for (size_t i = 0; i < kept.size(); ++i) {
        const std::string sep = i + 1 == kept.size() ? last : i == 1 ? second : ", ";
        text += (i == 0 ? "" : sep) + kept[i];
    }
    return text;
}

// The text with its line breaks, runs of spaces and the manual page's font changes undone.
std::string Flat(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    for (const char* font : {"\\fB", "\\fI", "\\fR", "\\fP"}) {
        for (size_t at; (at = text.find(font)) != std::string::npos;) text.erase(at, 3);
    }
    for (size_t at; (at = text.find("  ")) != std::string::npos;) text.erase(at, 1);
    return text;
}

// `pictor --help` and the manual page name the library's sizes, per standard and aspect.
TEST(PictureSizes, HelpAndManualPageNameTheLibrarysTable) {
    const auto width = [](const PictureWidth& w) { return w.samples; };
    const auto height = [](const PictureHeight& h) { return h.rows; };
    const auto all = [](const auto&) { return true; };
    const auto pal = [](const PictureHeight& h) { return h.pal; };
    const auto ntsc = [](const PictureHeight& h) { return !h.pal; };
    const std::string widths = Joined(Kept(kPictureWidths, all, width), " or ");
    const std::string wideWidths =
        Joined(Kept(
                   kPictureWidths, [](const PictureWidth& w) { return w.wide; }, width),
               " or ");
    const std::vector<std::string> wideHeights = Kept(
        kPictureHeights, [](const PictureHeight& h) { return h.wide; }, height);
    const std::vector<std::string> palRows = Kept(kPictureHeights, pal, height);
    const std::vector<std::string> ntscRows = Kept(kPictureHeights, ntsc, height);
    std::string help;
    ASSERT_EQ(RunCommand(std::string(PICTOR_CLI_PATH) + " --help", &help), 0);
    help = Flat(help);
    EXPECT_NE(help.find("(" + widths + " samples wide; " +
                        Joined(Kept(kPictureHeights, all, height), " or ") + " rows high;"),
              std::string::npos);
    EXPECT_NE(help.find("pal (" + Joined(palRows, ", ", " or ") + " rows) or ntsc (" +
                        Joined(ntscRows, ", ", " or ") + " rows)"),
              std::string::npos);
    EXPECT_NE(help.find("16:9 (" + wideWidths + " wide, " + Joined(wideHeights, " or ") + " rows)"),
              std::string::npos);

    const std::string page = Flat(ReadFileText(PICTOR_SOURCE_DIR "/docs/pictor.1"));
    EXPECT_NE(
        page.find("PAL " + widths + " samples wide; " + Joined(palRows, " or ") + " rows high."),
        std::string::npos);
    EXPECT_NE(
        page.find("NTSC " + widths + " samples wide; " + Joined(ntscRows, " or ") + " rows high."),
        std::string::npos);
    // The page names the 25 Hz height first.
    const std::vector<std::string> palFirst(wideHeights.rbegin(), wideHeights.rend());
    EXPECT_NE(page.find("A 16:9 picture must be " + wideWidths + " wide and " +
                        Joined(palFirst, " or ") + " high."),
              std::string::npos);
}

}  // namespace
