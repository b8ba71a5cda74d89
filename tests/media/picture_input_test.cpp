// Pictures in: every form of TIFF, PNG and JPEG that people have, made by
// ImageMagick, Pillow and tiffcp at test time, decoded and compared with what
// ImageMagick decodes from the same file (and with the source pixels where the
// form is lossless); which TIFFs go to the library as they are; what a refusal
// says; and damaged files.
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "media/picture_input.h"
#include "media/reference_planes.h"
#include "media_test_support.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/tiff_writer.h"

namespace {

constexpr int kWidth = 176;
constexpr int kHeight = 144;
const char* const kBackground = "#3366CC";
const Rgb8 kBackgroundRgb{0x33, 0x66, 0xCC};

// Sixteen colours in 8x8 blocks: few enough for a palette, edges for JPEG.
std::vector<uint8_t> SourcePixels() {
    static const uint8_t kColours[16][3] = {
        {0, 0, 0},       {255, 255, 255}, {255, 0, 0},    {0, 255, 0},
        {0, 0, 255},     {255, 255, 0},   {0, 255, 255},  {255, 0, 255},
        {128, 128, 128}, {64, 32, 16},    {16, 200, 100}, {200, 100, 16},
        {90, 90, 220},   {250, 180, 200}, {30, 60, 90},   {180, 250, 30}};
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* c = kColours[(x / 8 + 3 * (y / 8)) % 16];
            std::copy(c, c + 3, &rgb[(size_t(y) * kWidth + x) * 3]);
        }
    }
    return rgb;
}

// One picture form: how it is made from src.png (or plain.tif, rgba.png),
// whether it must decode to the source pixels exactly, how far it may stand
// from ImageMagick's decode, and whether the library takes it as it is.
struct Form {
    const char* name;
    const char* make;  // shell command; {src}, {plain}, {rgba}, {out} and the rest replaced
    bool lossless;     // decodes to the source pixels exactly
    int tolerance;     // against ImageMagick's decode of the same file
    bool takesAsIs;
    const char* refusal;  // a part of ExplainTiffRefusal's line; "" when none
};

void PrintTo(const Form& f, std::ostream* os) { *os << f.name; }

const Form kForms[] = {
    {"tiff_plain", "convert {src} {truecolor} -compress none {out}.tif", true, 0, true, ""},
    {"tiff_packbits_pillow",
     "{python} -c \"from PIL import Image; Image.open('{src}').convert('RGB')"
     ".save('{out}.tif', compression='packbits')\"",
     true, 0, true, ""},
    {"tiff_palette", "convert {src} -type Palette -compress none {out}.tif", true, 0, true, ""},
    {"tiff_grey", "convert {src} -colorspace Gray -depth 8 -compress none {out}.tif", false, 0,
     true, ""},
    {"tiff_lzw", "convert {src} {truecolor} -compress LZW {out}.tif", true, 0, false,
     "LZW compression"},
    {"tiff_deflate", "convert {src} {truecolor} -compress Zip {out}.tif", true, 0, false,
     "Deflate compression"},
    {"tiff_jpeg", "convert {src} {truecolor} -compress JPEG -quality 95 {out}.tif", false, 2, false,
     "JPEG compression"},
    {"tiff_tiled", "tiffcp -t -w 32 -l 32 {plain} {out}.tif", true, 0, false, "tiffcp -s -c none"},
    {"tiff_planar", "tiffcp -p separate {plain} {out}.tif", true, 0, false, "tiffcp -p contig"},
    {"tiff_rgba_unassociated", "convert {rgba} -compress none {out}.tif", false, 1, false,
     "alpha channel"},
    {"tiff_rgba_associated", "convert {rgba} -define tiff:alpha=associated -compress Zip {out}.tif",
     false, 1, false, "alpha channel"},
    {"tiff_cmyk", "convert {src} -colorspace CMYK -compress none {out}.tif", true, 1, false,
     "CMYK"},
    {"tiff_16bit_deflate", "convert {src} -type TrueColor -depth 16 -compress Zip {out}.tif", true,
     0, false, "Deflate compression"},
    {"tiff_16bit_grey",
     "{python} -c \"from PIL import Image; Image.open('{src}').convert('L').convert('I')"
     ".point(lambda v: v * 257).convert('I;16').save('{out}.tif')\"",
     false, 0, false, "16-bit grey"},
    {"tiff_palette_lzw", "convert {src} -type Palette -compress LZW {out}.tif", true, 0, false,
     "LZW compression"},
    {"tiff_bigendian_lzw", "convert {src} {truecolor} -endian MSB -compress LZW {out}.tif", true, 0,
     false, "LZW"},
    {"png_rgb", "convert {src} png24:{out}.png", true, 0, false, ""},
    {"png_rgba", "convert {rgba} png32:{out}.png", false, 1, false, ""},
    {"png_16bit", "convert {src} -depth 16 png48:{out}.png", true, 0, false, ""},
    {"png_palette", "convert {src} png8:{out}.png", true, 0, false, ""},
    {"png_palette_trns",
     "{python} -c \"from PIL import Image; im = Image.open('{src}').convert('P');"
     " im.info['transparency'] = 0; im.save('{out}.png', transparency=0)\"",
     false, 0, false, ""},
    {"png_grey", "convert {src} -colorspace Gray {out}.png", false, 0, false, ""},
    {"png_bilevel", "convert {src} -monochrome {out}.png", false, 0, false, ""},
    {"png_interlaced", "convert {src} -interlace PNG png24:{out}.png", true, 0, false, ""},
    {"jpeg_rgb", "convert {src} -quality 92 {out}.jpg", false, 0, false, ""},
    {"jpeg_progressive", "convert {src} -quality 92 -interlace JPEG {out}.jpg", false, 0, false,
     ""},
    {"jpeg_grey", "convert {src} -colorspace Gray {out}.jpg", false, 0, false, ""},
    {"jpeg_cmyk", "convert {src} -colorspace CMYK -quality 95 {out}.jpg", false, 1, false, ""},
};

// A Python that has Pillow: Debian's, which python3-pil serves, when the first
// python3 on the path is another one.
std::string PillowPython() {
    static const std::string python = [] {
        for (const char* candidate : {"python3", "/usr/bin/python3"}) {
            std::string said;
            if (RunCommand(std::string(candidate) + " -c 'import PIL' 2>&1", &said) == 0)
                return std::string(candidate);
        }
        return std::string("python3");
    }();
    return python;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The files of every form, made once for the whole suite.
class PictureForms : public ::testing::TestWithParam<Form> {
public:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        source_.width = kWidth;
        source_.height = kHeight;
        source_.rgb = SourcePixels();
        WriteFileBytes(*dir_ / "src.rgb", source_.rgb);
        const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
        Make("convert -size " + size + " -depth 8 " + Q("rgb:" + *dir_ / "src.rgb") + " " +
             Q(*dir_ / "src.png"));
        Make("convert " + Q(*dir_ / "src.png") + " -type TrueColor -depth 8 -compress none " +
             Q(*dir_ / "plain.tif"));
        // Alpha from fully transparent on the left to opaque on the right, and a hole.
        Make(PillowPython() + " -c \"from PIL import Image, ImageDraw; im = Image.open('" +
             *dir_ / "src.png" +
             "').convert('RGBA'); a = Image.linear_gradient('L').rotate(90).resize((" +
             std::to_string(kWidth) + ", " + std::to_string(kHeight) +
             ")); ImageDraw.Draw(a).rectangle((60, 40, 100, 80), fill=0); im.putalpha(a);"
             " im.save('" +
             *dir_ / "rgba.png" + "')\"");
        for (const Form& f : kForms) {
            std::string command = Replace(f.make, "{src}", *dir_ / "src.png");
            command = Replace(command, "{plain}", *dir_ / "plain.tif");
            command = Replace(command, "{rgba}", *dir_ / "rgba.png");
            command = Replace(command, "{out}", *dir_ / f.name);
            command = Replace(command, "{truecolor}", "-type TrueColor -depth 8");
            command = Replace(command, "{python}", PillowPython());
            Make(command);
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

protected:
    static std::string PathOf(const Form& f) {
        for (const char* ext : {".tif", ".png", ".jpg"}) {
            const std::string path = *dir_ / (std::string(f.name) + ext);
            if (FileExists(path)) return path;
        }
        return "";
    }
    static TempDir* dir_;
    static RgbPicture source_;
};
TempDir* PictureForms::dir_ = nullptr;
RgbPicture PictureForms::source_;

TEST_P(PictureForms, DecodesLikeImageMagick) {
    const Form& f = GetParam();
    const std::string path = PathOf(f);
    ASSERT_FALSE(path.empty());
    RgbPicture picture;
    std::string error;
    ASSERT_TRUE(ReadPicture(path, kBackgroundRgb, &picture, &error)) << error;
    ASSERT_EQ(picture.width, kWidth);
    ASSERT_EQ(picture.height, kHeight);
    const RgbPicture reference = DecodeWithImageMagick(path, kBackground, kWidth, kHeight);
    ASSERT_EQ(reference.width, kWidth);
    EXPECT_LE(MaxDifference(picture, reference), f.tolerance);
    if (f.lossless) {
        EXPECT_LE(MaxDifference(picture, source_), f.tolerance);
    }
}

TEST_P(PictureForms, TakenAsIsOnlyWhenTheLibraryReadsItUnchanged) {
    const Form& f = GetParam();
    std::string why;
    EXPECT_EQ(LibraryTakesAsIs(PathOf(f), &why), f.takesAsIs) << why;
    EXPECT_EQ(why.empty(), f.takesAsIs) << why;
}

TEST_P(PictureForms, RefusalNamesTheCause) {
    const Form& f = GetParam();
    const std::string line = ExplainTiffRefusal(PathOf(f));
    if (f.refusal[0] == '\0') {
        EXPECT_EQ(line, "");
        return;
    }
    EXPECT_NE(line.find(f.refusal), std::string::npos) << line;
    EXPECT_NE(line.find("`pictor encode`"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
}

// Whatever the library does not take, converted, comes out as a TIFF it takes
// and decodes to the same pixels.
TEST_P(PictureForms, ConvertedTiffIsTakenAsIs) {
    const Form& f = GetParam();
    RgbPicture picture, again;
    std::string error;
    ASSERT_TRUE(ReadPicture(PathOf(f), kBackgroundRgb, &picture, &error)) << error;
    const std::string out = *dir_ / (std::string(f.name) + "-converted.tif");
    ASSERT_TRUE(WriteRgbTiff(out, picture, &error)) << error;
    std::string why;
    EXPECT_TRUE(LibraryTakesAsIs(out, &why)) << why;
    ASSERT_TRUE(ReadPicture(out, Rgb8{}, &again, &error)) << error;
    EXPECT_EQ(MaxDifference(again, picture), 0);
    std::remove(out.c_str());
}

INSTANTIATE_TEST_SUITE_P(Forms, PictureForms, ::testing::ValuesIn(kForms),
                         [](const ::testing::TestParamInfo<Form>& info) {
                             return std::string(info.param.name);
                         });

// ---- Which TIFFs the library takes as they are ----

struct AsIsCase {
    const char* name;
    const char* make;  // from a 720 x 576 picture {in} (PNG) or {plain} (TIFF) into {out}
    bool takesAsIs;
    const char* cause;  // a part of the reason; "" when taken
};

void PrintTo(const AsIsCase& c, std::ostream* os) { *os << c.name; }

const AsIsCase kAsIsCases[] = {
    {"rgb_720x576", "convert {in} -type TrueColor -depth 8 -compress none {out}", true, ""},
    {"rgb_720x576_bigendian", "tiffcp -B {plain} {out}", true, ""},
    {"packbits_720x576", "tiffcp -c packbits {plain} {out}", true, ""},
    {"rgb16_720x576", "convert {in} -type TrueColor -depth 16 -compress none {out}", true, ""},
    {"grey4_720x576", "convert {in} -type Grayscale -depth 4 -compress none {out}", true, ""},
    {"rgb_640x480", "convert {in} -resize 640x480! -compress none {out}", false, "640x480"},
    {"rgb_1920x1080", "convert {in} -resize 1920x1080! -compress none {out}", false, "1920x1080"},
    {"lzw_720x576", "tiffcp -c lzw {plain} {out}", false, "LZW"},
    {"tiled_720x576", "tiffcp -t {plain} {out}", false, "tiles"},
    {"ycbcr_720x576", "tiffcp -c jpeg -r 16 {plain} {out}", false, "JPEG"},
    {"grey2_720x576", "convert {in} -type Grayscale -depth 2 -compress none {out}", false,
     "2-bit grey"},
    {"orientation_6", "cp {plain} {out} && tiffset -s 274 6 {out}", false, "Orientation 6"},
    {"bigtiff", "tiffcp -8 {plain} {out}", false, "BigTIFF"},
    {"png_named_tif", "convert {in} png:{out}", false, "not a TIFF"},
};

class AsIs : public ::testing::TestWithParam<AsIsCase> {};

TEST_P(AsIs, AnswersAsTheLibraryWould) {
    const AsIsCase& c = GetParam();
    TempDir dir;
    const std::string in = dir / "in.png", plain = dir / "plain.tif", out = dir / "out.tif";
    Make("convert -size 720x576 gradient:red-blue -fill white -draw 'circle 360,288 360,100' " +
         Q(in));
    Make("convert " + Q(in) + " -type TrueColor -depth 8 -compress none " + Q(plain));
    std::string command = Replace(Replace(c.make, "{in}", Q(in)), "{plain}", Q(plain));
    ASSERT_TRUE(Make(Replace(command, "{out}", Q(out))));
    std::string why;
    EXPECT_EQ(LibraryTakesAsIs(out, &why), c.takesAsIs) << why;
    EXPECT_NE(why.find(c.cause), std::string::npos) << why;
    // The library agrees: what is taken converts, through the library's own reader.
    YuvPlanes planes;
    std::string error;
    if (c.takesAsIs) {
        EXPECT_TRUE(ReferencePlanesFromTiff(out, 0, &planes, &error)) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(Tiffs, AsIs, ::testing::ValuesIn(kAsIsCases),
                         [](const ::testing::TestParamInfo<AsIsCase>& info) {
                             return std::string(info.param.name);
                         });

// Every TIFF of the repository's picture-input tests: a file said to be taken as
// it is must convert in the library (no file is sent to a refusal).
TEST(AsIsAgreement, TakenFilesConvertInTheLibrary) {
    std::string listing;
    ASSERT_EQ(RunCommand("ls " + Q(TestDataPath("tiff/data")) + "/*.tif " +
                             Q(TestDataPath("crashers")) + "/*.tif",
                         &listing),
              0);
    int taken = 0, files = 0;
    size_t start = 0;
    for (size_t end = listing.find('\n'); end != std::string::npos;
         start = end + 1, end = listing.find('\n', start)) {
        const std::string path = listing.substr(start, end - start);
        ++files;
        std::string why;
        if (!LibraryTakesAsIs(path, &why)) continue;
        ++taken;
        YuvPlanes planes;
        std::string error;
        EXPECT_TRUE(ReferencePlanesFromTiff(path, 0, &planes, &error)) << path << ": " << error;
    }
    EXPECT_GT(files, 30);
    EXPECT_GE(taken, 10);
}

// The directory layouts the library's own tests write, every one of which the
// library takes: each is taken as it is here too, and, for 8-bit samples, a
// conversion would have handed the library the very same planes.
struct LayoutCase {
    const char* name;
    TiffOptions options;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

TiffOptions With(void (*change)(TiffOptions*)) {
    TiffOptions options;
    change(&options);
    return options;
}

const LayoutCase kLayouts[] = {
    {"plain", TiffOptions{}},
    {"big_endian", With([](TiffOptions* o) { o->bigEndian = true; })},
    {"strips_of_16", With([](TiffOptions* o) { o->rowsPerStrip = 16; })},
    {"packbits", With([](TiffOptions* o) { o->packBits = true; })},
    {"packbits_strips_of_7", With([](TiffOptions* o) {
         o->packBits = true;
         o->rowsPerStrip = 7;
     })},
    {"orientation_2", With([](TiffOptions* o) { o->orientation = 2; })},
    {"orientation_3", With([](TiffOptions* o) { o->orientation = 3; })},
    {"orientation_4", With([](TiffOptions* o) { o->orientation = 4; })},
    {"long_dimensions", With([](TiffOptions* o) { o->longDimensions = true; })},
    {"fill_order_2", With([](TiffOptions* o) { o->fillOrder2 = true; })},
    {"bits_16", With([](TiffOptions* o) { o->bitsPerSample = 16; })},
    {"bits_16_big_endian", With([](TiffOptions* o) {
         o->bitsPerSample = 16;
         o->bigEndian = true;
     })},
    {"one_extra_sample", With([](TiffOptions* o) { o->extraSamples = 1; })},
    {"three_extra_samples", With([](TiffOptions* o) { o->extraSamples = 3; })},
    {"no_rows_per_strip", With([](TiffOptions* o) { o->rowsPerStripEntry = false; })},
};

class Layouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Layouts, TakenAsIsAndConvertedAlike) {
    const LayoutCase& c = GetParam();
    TempDir dir;
    const std::string original = dir / "original.tif", converted = dir / "converted.tif";
    WriteFileBytes(original, MakeRgbTiff(176, 144, TestPatternRgb(176, 144), c.options));
    std::string why, error;
    EXPECT_TRUE(LibraryTakesAsIs(original, &why)) << why;
    YuvPlanes asIs, viaConversion;
    ASSERT_TRUE(ReferencePlanesFromTiff(original, 0, &asIs, &error)) << error;
    RgbPicture picture;
    ASSERT_TRUE(ReadPicture(original, Rgb8{}, &picture, &error)) << error;
    ASSERT_TRUE(WriteRgbTiff(converted, picture, &error)) << error;
    ASSERT_TRUE(ReferencePlanesFromTiff(converted, 0, &viaConversion, &error)) << error;
    // 16-bit samples: the library keeps the high byte, libtiff rounds.
    if (c.options.bitsPerSample == 8) {
        EXPECT_EQ(asIs.y, viaConversion.y);
        EXPECT_EQ(asIs.cb, viaConversion.cb);
        EXPECT_EQ(asIs.cr, viaConversion.cr);
    }
}

INSTANTIATE_TEST_SUITE_P(LibraryWriter, Layouts, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- Writing ----

TEST(WriteRgbTiff, NeverReplacesAFile) {
    TempDir dir;
    RgbPicture picture;
    picture.width = 96;
    picture.height = 64;
    picture.rgb.assign(96 * 64 * 3, 7);
    const std::string path = dir / "p.tif";
    WriteFileText(path, "keep");
    std::string error;
    EXPECT_FALSE(WriteRgbTiff(path, picture, &error));
    EXPECT_NE(error.find("p.tif"), std::string::npos) << error;
    EXPECT_EQ(ReadFileBytes(path).size(), 4u);
}

TEST(WriteRgbTiff, RefusesAnEmptyPicture) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(WriteRgbTiff(dir / "p.tif", RgbPicture{}, &error));
    EXPECT_FALSE(FileExists(dir / "p.tif"));
}

// ---- --background ----

struct ColourCase {
    const char* text;
    bool ok;
    Rgb8 colour;
};

void PrintTo(const ColourCase& c, std::ostream* os) { *os << c.text; }

class Colours : public ::testing::TestWithParam<ColourCase> {};

TEST_P(Colours, Parse) {
    const ColourCase& c = GetParam();
    Rgb8 colour{1, 2, 3};
    ASSERT_EQ(ParseColour(c.text, &colour), c.ok);
    if (!c.ok) return;
    EXPECT_EQ(colour.r, c.colour.r);
    EXPECT_EQ(colour.g, c.colour.g);
    EXPECT_EQ(colour.b, c.colour.b);
}

INSTANTIATE_TEST_SUITE_P(Names, Colours,
                         ::testing::Values(ColourCase{"black", true, {0, 0, 0}},
                                           ColourCase{"white", true, {255, 255, 255}},
                                           ColourCase{"grey", true, {128, 128, 128}},
                                           ColourCase{"Gray", true, {128, 128, 128}},
                                           ColourCase{"#3366cc", true, {0x33, 0x66, 0xCC}},
                                           ColourCase{"#FF0080", true, {255, 0, 128}},
                                           ColourCase{"#FFF", false, {}},
                                           ColourCase{"#GG0000", false, {}},
                                           ColourCase{"red", false, {}}, ColourCase{"", false, {}}),
                         [](const ::testing::TestParamInfo<ColourCase>& info) {
                             std::string name;
                             for (const char* p = info.param.text; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name.empty() ? std::string("empty") : name;
                         });

// ---- Damaged and hostile files ----

struct HostileCase {
    const char* name;
    const char* make;   // into {out}, from a small {png}, {jpg} and LZW {tif}
    const char* error;  // a part of the error
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

const HostileCase kHostile[] = {
    {"empty_file", ": > {out}", "not a TIFF, PNG or JPEG"},
    {"text_file", "echo hello > {out}", "not a TIFF, PNG or JPEG"},
    {"png_signature_only", "head -c 8 {png} > {out}", "PNG"},
    {"png_cut_in_header", "head -c 30 {png} > {out}", "PNG"},
    {"png_cut_in_data", "head -c $(( $(stat -c %s {png}) / 2 )) {png} > {out}", "PNG"},
    {"png_without_end", "head -c $(( $(stat -c %s {png}) - 6 )) {png} > {out}", "PNG"},
    {"png_huge_size",
     "python3 -c \"import struct, zlib; h = struct.pack('>IIBBBBB', 60000, 60000, 8, 2, 0, 0, 0);"
     " c = b'IHDR' + h; d = b'IDAT' + zlib.compress(bytes(64));"
     " open({out}, 'wb').write(b'\\x89PNG\\r\\n\\x1a\\n' + struct.pack('>I', 13) + c +"
     " struct.pack('>I', zlib.crc32(c)) + struct.pack('>I', len(d) - 4) + d +"
     " struct.pack('>I', zlib.crc32(d)))\"",
     "too large"},
    {"png_over_side_limit",
     "python3 -c \"import struct, zlib; h = struct.pack('>IIBBBBB', 70000, 8, 8, 2, 0, 0, 0);"
     " c = b'IHDR' + h; open({out}, 'wb').write(b'\\x89PNG\\r\\n\\x1a\\n' +"
     " struct.pack('>I', 13) + c + struct.pack('>I', zlib.crc32(c)))\"",
     "PNG"},
    {"jpeg_marker_only", "head -c 3 {jpg} > {out}", "JPEG"},
    {"jpeg_cut_in_header", "head -c 100 {jpg} > {out}", "JPEG"},
    {"jpeg_cut_in_data", "head -c $(( $(stat -c %s {jpg}) / 2 )) {jpg} > {out}", "JPEG"},
    {"jpeg_without_end", "head -c $(( $(stat -c %s {jpg}) - 2 )) {jpg} > {out}", "JPEG"},
    {"jpeg_huge_size",
     "python3 -c \"d = bytearray(open({jpg}, 'rb').read()); i = d.find(b'\\xff\\xc0');"
     " d[i+5:i+9] = bytes([0xEA, 0x60, 0xEA, 0x60]); open({out}, 'wb').write(d)\"",
     "too large"},
    {"tiff_header_only", "head -c 8 {tif} > {out}", "libtiff"},
    {"tiff_cut_in_data", "head -c $(( $(stat -c %s {tif}) / 2 )) {tif} > {out}", "libtiff"},
    {"tiff_huge_size", "cp {tif} {out} && tiffset -s 256 60000 {out} && tiffset -s 257 60000 {out}",
     "too large"},
};

class Hostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, RefusedWithAReason) {
    const HostileCase& c = GetParam();
    TempDir dir;
    const std::string png = dir / "s.png", jpg = dir / "s.jpg", tif = dir / "s.tif";
    Make("convert -size 96x64 plasma:fractal -seed 1 " + Q(png));
    Make("convert " + Q(png) + " -quality 90 " + Q(jpg));
    Make("convert " + Q(png) + " -compress LZW " + Q(tif));
    const std::string out = dir / "hostile";
    std::string command = Replace(Replace(c.make, "{png}", Q(png)), "{jpg}", Q(jpg));
    ASSERT_TRUE(Make(Replace(Replace(command, "{tif}", Q(tif)), "{out}", Q(out))));
    RgbPicture picture;
    std::string error;
    EXPECT_FALSE(ReadPicture(out, Rgb8{}, &picture, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    std::string why;
    EXPECT_FALSE(LibraryTakesAsIs(out, &why));
    ExplainTiffRefusal(out);
}

INSTANTIATE_TEST_SUITE_P(Files, Hostile, ::testing::ValuesIn(kHostile),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ReadPicture, MissingFileIsNamed) {
    TempDir dir;
    RgbPicture picture;
    std::string error;
    EXPECT_FALSE(ReadPicture(dir / "missing.png", Rgb8{}, &picture, &error));
    EXPECT_NE(error.find("cannot be opened"), std::string::npos) << error;
}

// The format comes from the first bytes, not the name.
TEST(ReadPicture, FormatFromContentNotName) {
    TempDir dir;
    Make("convert -size 96x64 xc:'#102030' " + Q("png:" + dir / "p.jpg"));
    RgbPicture picture;
    std::string error;
    ASSERT_TRUE(ReadPicture(dir / "p.jpg", Rgb8{}, &picture, &error)) << error;
    EXPECT_EQ(picture.rgb[0], 0x10);
    EXPECT_EQ(picture.rgb[1], 0x20);
    EXPECT_EQ(picture.rgb[2], 0x30);
}

}  // namespace
