// The command's small readers and writers of picture files: a picture's format told by its
// first bytes, --background's colours, the RGB TIFF handed to the library and the preview PNG.
// Every file a step refuses to make is left unmade. Streams that hold no picture are among the
// hostile files of the picture input tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "media/picture_input.h"
#include "media/quality.h"
#include "media/safe_area.h"
#include "media/vertical_filter.h"
#include "media_test_support.h"

namespace {

// A file of the bytes `head`, or no file at all.
struct FormatCase {
    const char* name;
    std::vector<uint8_t> head;
    PictureFormat format;
    bool written = true;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

const FormatCase kFormats[] = {
    {"Png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0}, PictureFormat::kPng},
    {"PngSignatureCut", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A}, PictureFormat::kUnknown},
    {"Jpeg", {0xFF, 0xD8, 0xFF, 0xE0}, PictureFormat::kJpeg},
    {"JpegWithoutItsMarker", {0xFF, 0xD8, 0x00, 0xE0}, PictureFormat::kUnknown},
    {"TiffLittleEndian", {'I', 'I', 42, 0}, PictureFormat::kTiff},
    {"TiffBigEndian", {'M', 'M', 0, 42}, PictureFormat::kTiff},
    {"BigTiffLittleEndian", {'I', 'I', 43, 0}, PictureFormat::kTiff},
    {"BigTiffBigEndian", {'M', 'M', 0, 43}, PictureFormat::kTiff},
    {"TiffOrdersMixed", {'I', 'I', 0, 42}, PictureFormat::kUnknown},
    {"TiffCut", {'I', 'I', 42}, PictureFormat::kUnknown},
    {"Gif89", {'G', 'I', 'F', '8', '9', 'a'}, PictureFormat::kGif},
    {"GifUnknownVersion", {'G', 'I', 'F', '8', '8', 'a'}, PictureFormat::kUnknown},
    {"Webp", {'R', 'I', 'F', 'F', 1, 0, 0, 0, 'W', 'E', 'B', 'P'}, PictureFormat::kWebp},
    {"RiffWave", {'R', 'I', 'F', 'F', 1, 0, 0, 0, 'W', 'A', 'V', 'E'}, PictureFormat::kUnknown},
    {"Heic", {0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'}, PictureFormat::kHeif},
    {"HeifMif1", {0, 0, 0, 24, 'f', 't', 'y', 'p', 'm', 'i', 'f', '1'}, PictureFormat::kHeif},
    {"Avif", {0, 0, 0, 24, 'f', 't', 'y', 'p', 'a', 'v', 'i', 'f'}, PictureFormat::kAvif},
    {"Mp4", {0, 0, 0, 24, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'}, PictureFormat::kUnknown},
    {"Empty", {}, PictureFormat::kUnknown},
    {"Text", {'P', '6', '\n', '1'}, PictureFormat::kUnknown},
    {"Missing", {}, PictureFormat::kUnknown, false},
};

class Format : public ::testing::TestWithParam<FormatCase> {};

// Whatever the file is called: a PNG named .tif is a PNG.
TEST_P(Format, ToldByTheFirstBytes) {
    TempDir dir;
    if (GetParam().written) WriteFileBytes(dir / "picture.tif", GetParam().head);
    EXPECT_EQ(DetectPictureFormat(dir / "picture.tif"), GetParam().format);
}

INSTANTIATE_TEST_SUITE_P(Heads, Format, ::testing::ValuesIn(kFormats),
                         ::testing::PrintToStringParamName());

TEST(Background, NamesAndHexInAnyCase) {
    const struct {
        const char* text;
        bool taken;
        int r, g, b;
    } cases[] = {
        {"black", true, 0, 0, 0},       {"White", true, 255, 255, 255},
        {"grey", true, 128, 128, 128},  {"GRAY", true, 128, 128, 128},
        {"#FFfF00", true, 255, 255, 0}, {"#0a0B0c", true, 10, 11, 12},
        {"#12345G", false, 0, 0, 0},    {"#12345", false, 0, 0, 0},
        {"#1234567", false, 0, 0, 0},   {"123456", false, 0, 0, 0},
        {"", false, 0, 0, 0},           {"red", false, 0, 0, 0},
        {"#-12345", false, 0, 0, 0},    {"#+1+2+3", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        Rgb8 colour{1, 2, 3};
        EXPECT_EQ(ParseColour(c.text, &colour), c.taken) << c.text;
        if (c.taken) {
            EXPECT_EQ((std::vector<int>{colour.r, colour.g, colour.b}),
                      (std::vector<int>{c.r, c.g, c.b}))
                << c.text;
        }
    }
}

// A picture of every byte value; `height` rows, so strips of 16 rows end short.
RgbPicture Ramp(int width, int height) {
    RgbPicture picture{width, height, {}};
    for (int i = 0; i < width * height * 3; ++i) picture.rgb.push_back(uint8_t(i * 7 % 256));
    return picture;
}

TEST(RgbTiff, ReadsBackAsWrittenInEveryStrip) {
    TempDir dir;
    for (const int height : {1, 16, 17, 33}) {
        const std::string path = dir / ("ramp" + std::to_string(height) + ".tif");
        const RgbPicture ramp = Ramp(5, height);
        std::string error;
        ASSERT_TRUE(WriteRgbTiff(path, ramp, &error)) << error;
        RgbPicture back;
        ASSERT_TRUE(ReadPicture(path, Rgb8{}, &back, &error)) << error;
        EXPECT_EQ(back.width, 5);
        EXPECT_EQ(back.height, height);
        EXPECT_EQ(back.rgb, ramp.rgb) << height << " rows";
    }
}

TEST(RgbTiff, NeverReplacesAFileNorWritesAWrongPicture) {
    TempDir dir;
    WriteFileText(dir / "taken.tif", "someone's file");
    std::string error;
    EXPECT_FALSE(WriteRgbTiff(dir / "taken.tif", Ramp(4, 4), &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    EXPECT_EQ(ReadFileText(dir / "taken.tif"), "someone's file");

    RgbPicture shortOfBytes = Ramp(4, 4);
    shortOfBytes.rgb.pop_back();
    for (const RgbPicture& wrong : {shortOfBytes, RgbPicture{0, 4, {}}, RgbPicture{4, -1, {}}}) {
        error.clear();
        EXPECT_FALSE(WriteRgbTiff(dir / "wrong.tif", wrong, &error));
        EXPECT_EQ(error, "no picture to write");
        EXPECT_FALSE(FileExists(dir / "wrong.tif"));
    }
}

// 4:2:0 planes of one value each.
YuvPlanes Flat(int width, int height, uint8_t y, uint8_t cb, uint8_t cr) {
    YuvPlanes planes;
    planes.width = width;
    planes.height = height;
    planes.y.assign(size_t(width) * height, y);
    planes.cb.assign(size_t(width / 2) * (height / 2), cb);
    planes.cr.assign(size_t(width / 2) * (height / 2), cr);
    return planes;
}

// Video levels: Y 16 is black and 235 white, at the BT.601 colours.
TEST(Preview, VideoLevelsAsRgb) {
    TempDir dir;
    const struct {
        uint8_t y, cb, cr;
        int r, g, b;
    } cases[] = {{16, 128, 128, 0, 0, 0}, {235, 128, 128, 255, 255, 255}, {81, 90, 240, 255, 0, 0}};
    for (const auto& c : cases) {
        std::string error;
        ASSERT_TRUE(WritePreviewPng(dir / "p.png", Flat(8, 4, c.y, c.cb, c.cr), &error)) << error;
        RgbPicture rgb;
        ASSERT_TRUE(ReadPicture(dir / "p.png", Rgb8{}, &rgb, &error)) << error;
        ASSERT_EQ(rgb.width * rgb.height, 32);
        EXPECT_NEAR(rgb.rgb[0], c.r, 2) << int(c.y);
        EXPECT_NEAR(rgb.rgb[1], c.g, 2) << int(c.y);
        EXPECT_NEAR(rgb.rgb[2], c.b, 2) << int(c.y);
    }
}

TEST(Preview, NothingLeftWhenRefused) {
    TempDir dir;
    YuvPlanes odd = Flat(8, 4, 16, 128, 128);
    odd.width = 7;
    YuvPlanes chromaShort = Flat(8, 4, 16, 128, 128);
    chromaShort.cr.pop_back();
    for (const YuvPlanes& wrong : {odd, chromaShort, YuvPlanes{}}) {
        std::string error;
        EXPECT_FALSE(WritePreviewPng(dir / "p.png", wrong, &error));
        EXPECT_EQ(error, "no decoded picture to preview");
    }
    std::string error;
    EXPECT_FALSE(WritePreviewPng(dir / "missing/p.png", Flat(8, 4, 16, 128, 128), &error));
    EXPECT_NE(error.find("cannot create a file beside"), std::string::npos) << error;
    EXPECT_EQ(RunCommand("test -z \"$(ls -A " + Q(dir.path) + ")\""), 0);
}

// --safe-area: on a flat grey preview, the action-safe (grey) and title-safe (yellow) outlines,
// 90% and 80% of the display area (702 samples of PAL's 720, 704 of NTSC's) and of the lines,
// centred on the frame.
TEST(Preview, SafeAreasOutlined) {
    TempDir dir;
    const struct {
        int width, height, active;
    } frames[] = {{720, 576, 702}, {720, 480, 704}, {704, 576, 702}, {352, 288, 351}};
    for (const auto& f : frames) {
        std::string error;
        ASSERT_TRUE(
            WritePreviewPng(dir / "p.png", Flat(f.width, f.height, 126, 128, 128), &error, true))
            << error;
        RgbPicture rgb;
        ASSERT_TRUE(ReadPicture(dir / "p.png", Rgb8{}, &rgb, &error)) << error;
        std::remove((dir / "p.png").c_str());
        // The extent of the samples of each outline's colour: yellow has little blue.
        for (const bool title : {false, true}) {
            int left = f.width, right = -1, top = f.height, bottom = -1;
            for (int y = 0; y < f.height; ++y) {
                for (int x = 0; x < f.width; ++x) {
                    const uint8_t* p = rgb.rgb.data() + (size_t(y) * f.width + x) * 3;
                    const bool yellow = p[0] > 200 && p[2]<80, grey = p[2]> 170 && !yellow;
                    if (title ? !yellow : !grey) continue;
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                }
            }
            const double share = title ? 0.8 : 0.9;
            EXPECT_NEAR(right - left + 1, f.active * share, 1) << f.width << "x" << f.height;
            EXPECT_NEAR(bottom - top + 1, f.height * share, 1) << f.width << "x" << f.height;
            EXPECT_NEAR(left + right + 1, f.width, 1) << f.width << "x" << f.height;
            EXPECT_NEAR(top + bottom + 1, f.height, 1) << f.width << "x" << f.height;
        }
    }
}

// --deflicker: a one-row line spreads into the rows beside it (half as bright there, half its
// brightness kept), a flat area and the edges keep their value.
TEST(Deflicker, SpreadsOneRowLinesOverTwoFields) {
    RgbPicture picture{4, 6, std::vector<uint8_t>(4 * 6 * 3, 40)};
    for (int x = 0; x < 4 * 3; ++x) picture.rgb[size_t(2) * 12 + x] = 240;
    SoftenLines(&picture);
    const int expected[6] = {40, 90, 140, 90, 40, 40};
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 12; ++x) EXPECT_EQ(picture.rgb[size_t(y) * 12 + x], expected[y]) << y;
    }
}

}  // namespace
