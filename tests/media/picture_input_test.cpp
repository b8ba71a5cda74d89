// Pictures in: each form of TIFF, PNG and JPEG that takes its own path, made by
// ImageMagick, tiffcp and the tests' TIFF writer, decoded and compared with
// ImageMagick's decode of the same file; which go to the library as they are,
// and that the library then reads them as it reads their conversion; damaged and
// hostile files.
#include <algorithm>
#include <cstring>

#include "media/picture_input.h"
#include "media/quality.h"
#include "media/reference_planes.h"
#include "media_test_support.h"
#include "support/files.h"
#include "support/tiff_writer.h"

namespace {

const char* const kBackground = "#3366cc";
const char* const kNotTiff = "not a TIFF";
const char* const kNoForm = "is not a picture pictor reads";

// `command` with {out} standing for the file `out` and any other {name} for the
// file `name`, all in `dir`.
std::string Fill(std::string command, const std::string& dir, const std::string& out) {
    for (size_t at; (at = command.find('{')) != std::string::npos;) {
        const size_t end = command.find('}', at);
        const std::string name = command.substr(at + 1, end - at - 1);
        command.replace(at, end - at + 1, Q(dir + "/" + (name == "out" ? out : name)));
    }
    return command;
}

// Largest difference of any sample; 256 when the sizes differ.
int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return 256;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

// One picture file: how it is made, how far its decode may stand from another
// reader's, and a part of the reason the library does not take it ("" when it does).
struct Form {
    const char* name;
    const char* make;  // from {src} (8-bit), {deep} (16-bit), {rgba}, {plain} into {out}
    int tolerance;
    const char* refusal;
    TiffOptions layout = {};  // when `make` is null: the tests' writer lays out its test pattern
};

void PrintTo(const Form& f, std::ostream* os) { *os << f.name; }

// Layouts of the tests' writer that other writers rarely make.
const TiffOptions kPackBitsStripsOf7{true, 7, true, 4};
const TiffOptions kStripsOf7{true, 7, false, 4};
const TiffOptions kLongSizes{false, 0, false, 0, true, true, 8, 0, false};

const Form kForms[] = {
    {"tiff_rgb", "convert {src} -compress none tiff:{out}", 0, ""},
    {"tiff_palette", "convert {src} -type Palette -compress none tiff:{out}", 1, "palette picture"},
    {"tiff_grey", "convert {src} -colorspace Gray -compress none tiff:{out}", 0, ""},
    {"tiff_grey4", "convert {src} -type Grayscale -depth 4 -compress none tiff:{out}", 0, "4-bit"},
    {"tiff_rgb16", "convert {deep} -compress none tiff:{out}", 1, "16-bit"},
    {"tiff_grey2", "convert {src} -type Grayscale -depth 2 -compress none tiff:{out}", 0,
     "2-bit grey"},
    {"tiff_deflate_16bit", "convert {deep} -compress Zip tiff:{out}", 1, "Deflate compression"},
    {"tiff_jpeg", "convert {src} -compress JPEG -quality 95 tiff:{out}", 2, "JPEG compression"},
    {"tiff_tiled", "tiffcp -t -w 32 -l 32 {plain} {out}", 0, "tiles"},
    {"tiff_planar", "tiffcp -p separate {plain} {out}", 0, "own plane"},
    {"tiff_rgba", "convert {rgba} -compress none tiff:{out}", 1, "alpha channel"},
    {"tiff_cmyk", "convert {src} -colorspace CMYK -compress none tiff:{out}", 1, "CMYK"},
    {"tiff_640x480", "convert {src} -resize 640x480! -compress none tiff:{out}", 0, "640x480"},
    {"tiff_orientation_6", "cp {plain} {out} && tiffset -s 274 6 {out}", 0, "Orientation 6"},
    {"tiff_bigtiff", "tiffcp -8 {plain} {out}", 0, "BigTIFF"},
    {"writer_big_endian_packbits_strips_of_7_orientation_4", nullptr, 0, "PackBits",
     kPackBitsStripsOf7},
    {"writer_big_endian_strips_of_7_orientation_4", nullptr, 0, "", kStripsOf7},
    {"writer_long_sizes_fill_order_2_no_rows_per_strip", nullptr, 0, "", kLongSizes},
    {"png_rgb_interlaced", "convert {src} -interlace PNG png24:{out}", 0, kNotTiff},
    {"png_rgba", "convert {rgba} png32:{out}", 1, kNotTiff},
    {"png_16bit", "convert {deep} png48:{out}", 0, kNotTiff},
    {"png_palette", "convert {src} png8:{out}", 0, kNotTiff},
    {"png_palette_transparent", "convert {rgba} -channel A -threshold 50% +channel png8:{out}", 0,
     kNotTiff},
    {"png_bilevel", "convert {src} -monochrome png:{out}", 0, kNotTiff},
    {"jpeg_cmyk", "convert {src} -colorspace CMYK -quality 95 jpg:{out}", 1, kNotTiff},
};

// The files of every form, made once for the whole suite: {deep} has 16-bit
// samples; {rgba} alpha from transparent on the left to opaque on the right, and
// a transparent hole.
class PictureForms : public ::testing::TestWithParam<Form> {
public:
    static const TempDir& Dir() {
        static const TempDir dir;
        return dir;
    }
    static void SetUpTestSuite() {
        Make(
            Fill("convert -seed 1 -size 176x144 plasma: png:{deep} && convert {deep} -depth 8"
                 " png:{src} && convert {src} -compress none tiff:{plain} && convert {src} \\("
                 " -size 144x176 gradient: -rotate 90 -fill black -draw 'rectangle 60,40 100,80'"
                 " \\) -alpha off -compose CopyOpacity -composite -depth 8 png:{rgba}",
                 Dir().path, ""));
        for (const Form& f : kForms) {
            if (f.make != nullptr) {
                Make(Fill(f.make, Dir().path, f.name));
            } else {
                WriteFileBytes(Dir() / f.name,
                               MakeRgbTiff(176, 144, TestPatternRgb(176, 144), f.layout));
            }
        }
    }
};

// The picture decodes as ImageMagick decodes it. The library takes the file as
// it is only when it reads it as it reads the file's conversion; a refusal
// names its cause, and the fix offered works.
TEST_P(PictureForms, DecodesLikeImageMagickAndTakenAsIsOnlyWhenReadAlike) {
    const Form& f = GetParam();
    const std::string path = Dir() / f.name, raw = path + ".rgb";
    const std::string converted = path + "-converted.tif";
    Rgb8 background;
    RgbPicture picture;
    std::string error, why;
    ASSERT_TRUE(ParseColour(kBackground, &background));
    ASSERT_TRUE(ReadPicture(path, background, &picture, &error)) << error;
    ASSERT_EQ(picture.rgb.size(), size_t(picture.width) * picture.height * 3);
    // ImageMagick's samples at 16 bits, rounded to 8 here.
    ASSERT_TRUE(Make("convert " + Q(path + "[0]") + " -auto-orient -background '" + kBackground +
                     "' -alpha remove -alpha off -colorspace sRGB -depth 16 -endian MSB " +
                     Q("rgb:" + raw)));
    const std::vector<uint8_t> deep = ReadFileBytes(raw);
    std::vector<uint8_t> reference;
    for (size_t i = 0; i + 1 < deep.size(); i += 2)
        reference.push_back(uint8_t(((deep[i] << 8 | deep[i + 1]) * 255 + 32767) / 65535));
    EXPECT_LE(MaxDifference(picture.rgb, reference), f.tolerance);

    const bool taken = f.refusal[0] == '\0';
    EXPECT_EQ(LibraryTakesAsIs(path, &why), taken) << why;
    EXPECT_NE(why.find(f.refusal), std::string::npos) << why;
    // Read whole beforehand, as a job on an instance reads it, the file gets the same verdict.
    const std::vector<uint8_t> whole = ReadFileBytes(path);
    std::string whyInMemory;
    EXPECT_EQ(LibraryTakesAsIs(path, &whyInMemory, nullptr, nullptr, {whole.data(), whole.size()}),
              taken);
    EXPECT_EQ(whyInMemory, why);
    ASSERT_TRUE(WriteRgbTiff(converted, picture, &error)) << error;
    if (taken) {
        YuvPlanes asIs, viaConversion;
        ASSERT_TRUE(ReferencePlanesFromTiff(path, 0, &asIs, &error)) << error;
        ASSERT_TRUE(ReferencePlanesFromTiff(converted, 0, &viaConversion, &error)) << error;
        EXPECT_LE(MaxDifference(asIs.y, viaConversion.y), f.tolerance);
        EXPECT_LE(MaxDifference(asIs.cb, viaConversion.cb), f.tolerance);
        EXPECT_LE(MaxDifference(asIs.cr, viaConversion.cr), f.tolerance);
    }
    const std::string line = ExplainTiffRefusal(path);
    if (taken || std::strcmp(f.refusal, kNotTiff) == 0) {
        EXPECT_EQ(line, "");
        return;
    }
    EXPECT_NE(line.find(f.refusal), std::string::npos) << line;
    EXPECT_NE(line.find("`pictor encode"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    const size_t command = line.find(", or: ");
    if (command == std::string::npos) return;
    ASSERT_TRUE(Make(line.substr(command + 6)));
    EXPECT_TRUE(LibraryTakesAsIs(path + "-plain.tif", &why) ||
                why.find("accepted") != std::string::npos)
        << why;
}

INSTANTIATE_TEST_SUITE_P(Forms, PictureForms, ::testing::ValuesIn(kForms),
                         ::testing::PrintToStringParamName());

// ---- Damaged and hostile files ----

struct HostileCase {
    const char* name;
    const char* make;   // into {out}, from a small {png}, {jpg}, {tif} and stream {job.ts}
    const char* error;  // a part of ReadPicture's error
    // A part of what the stream decoder says: its error, or its complaints when it decodes.
    const char* complaint = "the stream does not decode";
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

const HostileCase kHostile[] = {
    {"missing", "true", "cannot be opened", "cannot open"},
    {"png_cut_in_data", "head -c $(( $(stat -c %s {png}) / 2 )) {png} > {out}", "PNG"},
    {"png_huge_size",
     "python3 -c \"import struct, zlib; d = bytearray(open({png}, 'rb').read());"
     " d[16:24] = struct.pack('>II', 60000, 60000); d[29:33] = struct.pack('>I',"
     " zlib.crc32(d[12:29])); open({out}, 'wb').write(d)\"",
     "too large"},
    {"jpeg_cut_in_header", "head -c 100 {jpg} > {out}", "JPEG"},
    {"jpeg_cut_in_data", "head -c $(( $(stat -c %s {jpg}) / 2 )) {jpg} > {out}", "JPEG"},
    {"jpeg_huge_size",
     "python3 -c \"d = bytearray(open({jpg}, 'rb').read()); i = d.find(b'\\xff\\xc0');"
     " d[i+5:i+9] = bytes([0xEA, 0x60, 0xEA, 0x60]); open({out}, 'wb').write(d)\"",
     "too large"},
    {"tiff_cut_in_half", "head -c $(( $(stat -c %s {tif}) / 2 )) {tif} > {out}", "TIFF cannot"},
    {"tiff_damaged_data",
     "convert {tif} -compress Zip tiff:{out} && python3 -c \"d = bytearray(open({out}, 'rb')"
     ".read()); d[100:300] = bytes(200); open({out}, 'wb').write(d)\"",
     "TIFF cannot be decoded"},
    {"tiff_huge_size", "cp {tif} {out} && tiffset -s 256 60000 {out} && tiffset -s 257 60000 {out}",
     "too large"},
    {"stream_cut_in_half", "head -c $(( $(stat -c %s {job.ts}) / 2 )) {job.ts} > {out}", kNoForm,
     "slices start 3 of the first picture's 4 macroblock rows"},
    // From the sequence header's flags on: libmpeg2 says nothing of damaged slice data.
    {"stream_bytes_flipped",
     "python3 -c \"d = bytearray(open({job.ts}, 'rb').read());"
     " d[11::97] = bytes(b ^ 0x5A for b in d[11::97]); open({out}, 'wb').write(d)\"",
     kNoForm, "libmpeg2: invalid data"},
    {"stream_without_a_picture", "printf '\\0\\0\\1\\267' > {out}", kNoForm},
};

class Hostile : public ::testing::TestWithParam<HostileCase> {};

// Every reader refuses it with a reason (the stream decoder may instead decode
// it and keep its complaints); none crashes.
TEST_P(Hostile, RefusedWithAReason) {
    const HostileCase& c = GetParam();
    TempDir dir;
    WriteFileBytes(dir / "tif", MakeRgbTiff(96, 64, TestPatternRgb(96, 64)));
    Make(Fill("convert {tif} png:{png} && convert {tif} -quality 90 jpg:{jpg}", dir.path, ""));
    ASSERT_FALSE(EncodeTiff(dir.path, dir / "tif", false, false, 100000, 0).empty());
    ASSERT_TRUE(Make(Fill(c.make, dir.path, "out")));
    RgbPicture picture;
    std::string error, why;
    EXPECT_FALSE(ReadPicture(dir / "out", Rgb8{}, &picture, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_FALSE(LibraryTakesAsIs(dir / "out", &why));
    ExplainTiffRefusal(dir / "out");
    DecodedStream decoded;
    const bool decodes = DecodeMpeg2Stream(dir / "out", &decoded, &error);
    EXPECT_NE((decodes ? decoded.decoderMessages : error).find(c.complaint), std::string::npos)
        << error << decoded.decoderMessages;
}

INSTANTIATE_TEST_SUITE_P(Files, Hostile, ::testing::ValuesIn(kHostile),
                         ::testing::PrintToStringParamName());

// A plain picture with one flaw in its directory: taken as it is only without the flaw, whether
// its directory alone or libtiff settles it (a strip past the end and LZW: the crasher files').
struct DirectoryFlaw {
    const char* name;
    TiffEntry entry;  // replaces the entry of its tag, or joins the directory
};

void PrintTo(const DirectoryFlaw& f, std::ostream* os) { *os << f.name; }

const DirectoryFlaw kFlaws[] = {
    {"strip_one_byte_short", Long(279, {96 * 64 * 3 - 1})},
    {"tile_width_beside_strips", Short(322, {16})},
    {"float_samples", Short(339, {3, 3, 3})},
    {"orientation_5", Short(274, {5})},
    {"one_strip_of_two", Long(278, {32})},
};

class PlainFlaws : public ::testing::TestWithParam<DirectoryFlaw> {};

TEST_P(PlainFlaws, TakenOnlyWithoutTheFlaw) {
    TempDir dir;
    TiffFile file = RgbTiffLayout(96, 64, TestPatternRgb(96, 64), TiffOptions{});
    WriteFileBytes(dir / "plain.tif", WriteTiffFile(file));
    std::string why;
    ASSERT_TRUE(LibraryTakesAsIs(dir / "plain.tif", &why)) << why;
    const TiffEntry& flaw = GetParam().entry;
    auto same = std::find_if(file.entries.begin(), file.entries.end(),
                             [&](const TiffEntry& e) { return e.tag == flaw.tag; });
    if (same != file.entries.end()) {
        *same = flaw;
    } else {
        file.entries.push_back(flaw);
        std::sort(file.entries.begin(), file.entries.end(),
                  [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
    }
    WriteFileBytes(dir / "flawed.tif", WriteTiffFile(file));
    EXPECT_FALSE(LibraryTakesAsIs(dir / "flawed.tif", &why));
}

INSTANTIATE_TEST_SUITE_P(Directories, PlainFlaws, ::testing::ValuesIn(kFlaws),
                         ::testing::PrintToStringParamName());

// No damaged TIFF that ever reached the library goes to it as it is.
TEST(CrasherFiles, NeverTakenAsTheyAre) {
    const std::vector<std::string> files = TestDataFiles("crashers", ".tif");
    EXPECT_FALSE(files.empty());
    for (const std::string& path : files) {
        std::string why;
        EXPECT_FALSE(LibraryTakesAsIs(path, &why)) << path;
    }
}

}  // namespace
