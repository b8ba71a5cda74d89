// pictor encode on the pictures people have: every form of TIFF, PNG and JPEG
// made at test time by ImageMagick, Pillow and tiffcp, each coded by one call
// and decoded silently; a TIFF the library takes as it is gives the library's
// own stream; alpha over --background; sizes refused without --fit.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "support/decoders.h"
#include "support/job_runner.h"
#include "support/tiff_writer.h"

namespace {

constexpr int kWidth = 352;
constexpr int kHeight = 288;
const std::string kPalCif = " --target 400000 --standard pal --aspect 4:3";

// One picture form, made in a CliFolder from still/plain.tif (the test pattern,
// 352x288, uncompressed RGB) into `file`. exact: it holds the same RGB as
// plain.tif, so its stream is plain.tif's byte for byte; otherwise it decodes
// close to it. converted: what the summary says of it ("" when handed as it is).
struct FormCase {
    const char* name;
    const char* make;  // {plain}, {file} and {python} replaced
    const char* file;
    bool exact;
    const char* converted;
};

void PrintTo(const FormCase& c, std::ostream* os) { *os << c.name; }

const FormCase kForms[] = {
    {"TiffAsItIs", "cp {plain} {file}", "pic.tif", true, ""},
    {"TiffLzw", "tiffcp -c lzw {plain} {file}", "pic.tif", true, "TIFF"},
    {"TiffDeflate", "convert {plain} -compress Zip {file}", "pic.tif", true, "TIFF"},
    {"TiffJpeg", "convert {plain} -compress JPEG -quality 92 {file}", "pic.tif", false, "TIFF"},
    {"TiffTiled", "tiffcp -t -w 32 -l 32 {plain} {file}", "pic.tif", true, "TIFF"},
    {"TiffPlanar", "tiffcp -p separate {plain} {file}", "pic.tif", true, "TIFF"},
    {"TiffRgbaOpaque", "convert {plain} -alpha set -compress none {file}", "pic.tif", true, "TIFF"},
    {"TiffCmyk", "convert {plain} -colorspace CMYK -compress none {file}", "pic.tif", false,
     "TIFF"},
    {"Tiff16BitDeflate", "convert {plain} -depth 16 -compress Zip {file}", "pic.tif", true, "TIFF"},
    {"Png", "convert {plain} png24:{file}", "pic.png", true, "PNG"},
    {"Png16Bit", "convert {plain} -depth 16 png48:{file}", "pic.png", true, "PNG"},
    {"PngRgbaPillow",
     "{python} -c \"from PIL import Image; Image.open('{plain}').convert('RGBA').save('{file}')\"",
     "pic.png", true, "PNG"},
    {"Jpeg", "convert {plain} -quality 92 {file}", "pic.jpg", false, "JPEG"},
    {"JpegProgressive", "convert {plain} -quality 92 -interlace JPEG {file}", "pic.jpg", false,
     "JPEG"},
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

class PictureForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(PictureForms, CodedByOneCallAndDecodedSilently) {
    const FormCase& c = GetParam();
    CliFolder folder;
    folder.AddPicture(".", "plain.tif", kWidth, kHeight);
    std::string make = Replace(c.make, "{plain}", "still/plain.tif");
    make = Replace(make, "{file}", c.file);
    make = Replace(make, "{python}", PillowPython());
    ASSERT_TRUE(folder.Make(make, {c.file}));

    const CliResult r =
        folder.Run(std::string("encode ") + c.file + " -o pic.m2v -q --json pic.json" + kPalCif);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(folder.NewNames(), "pic.json pic.m2v");
    EXPECT_TRUE(folder.TmpIsEmpty());
    const DecoderVerdict verdict = DecodeStream(folder.dir / "pic.m2v", kWidth, kHeight);
    ASSERT_EQ(DecoderProblems(verdict, kWidth, kHeight), "");
    const std::string converted =
        c.converted[0] == '\0' ? "missing"
                               : std::string("\"converted from ") + c.converted + " " +
                                     std::to_string(kWidth) + "x" + std::to_string(kHeight) + "\"";
    EXPECT_EQ(JsonField(folder.dir / "pic.json", "converted"), converted);

    // The same picture as plain.tif: its stream, or one that decodes close to it.
    ASSERT_EQ(folder.Run("encode still/plain.tif -o plain.m2v -q" + kPalCif).status, 0);
    if (c.exact) {
        EXPECT_EQ(folder.Text("pic.m2v"), folder.Text("plain.m2v"));
    } else {
        const DecoderVerdict plain = DecodeStream(folder.dir / "plain.m2v", kWidth, kHeight);
        ASSERT_EQ(plain.ffmpeg.y.size(), verdict.ffmpeg.y.size());
        EXPECT_GT(Psnr(plain.ffmpeg.y.data(), verdict.ffmpeg.y.data(), plain.ffmpeg.y.size()),
                  30.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, PictureForms, ::testing::ValuesIn(kForms),
                         [](const ::testing::TestParamInfo<FormCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- A TIFF the library takes as it is: the library's own stream ----

// picture: "astronaut" (the example, 720x576) or "pattern" (the tests' pattern, 96x64).
// e2e: the row of tests/e2e/streams.txt with the same job, whose MD5 the stream has.
struct AsIsCase {
    const char* name;
    const char* picture;
    std::string args;    // pictor encode's settings
    std::string job;     // the same settings as a job file's lines
    JobOptions options;  // and the switches
    const char* e2e;
};

void PrintTo(const AsIsCase& c, std::ostream* os) { *os << c.name; }

JobOptions Options(int extended, int levelMode) {
    JobOptions options;
    options.extendedAnalysis = extended;
    options.levelMode = levelMode;
    return options;
}

const AsIsCase kAsIsCases[] = {
    {"AstronautAt1200k", "astronaut", "--target 1200000 --standard pal --aspect 4:3",
     "TARGET_SIZE 1200000\nFRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", Options(0, 0),
     "AstronautAt1200k"},
    {"AstronautExtendedAt600k", "astronaut",
     "--target 600000 --standard pal --aspect 4:3 --extended",
     "TARGET_SIZE 600000\nFRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", Options(1, 0),
     "AstronautExtendedAt600k"},
    {"AstronautStudioWide", "astronaut",
     "--target 1200000 --standard pal --aspect 4:3 --levels studio-wide",
     "TARGET_SIZE 1200000\nFRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", Options(0, 1),
     "AstronautFullRangeWideClip"},
    {"AstronautPanScan", "astronaut",
     "--target 1200000 --standard pal --aspect 16:9 --pan-scan -32",
     "TARGET_SIZE 1200000\nFRMRT PAL\nASPECT_RATIO 16:9\nPAN_SCAN ON\nPAN_SCAN_VECTOR -32\n",
     Options(0, 0), "AstronautPanScan"},
    {"Pattern96x64", "pattern", "--target 160000 --standard ntsc --aspect 4:3",
     "TARGET_SIZE 160000\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", Options(0, 0),
     "Pattern96x64"},
};

// The MD5 that tests/e2e/streams.txt gives the row `name`.
std::string TableMd5(const std::string& name) {
    std::string md5;
    RunCommand(
        "awk '$1 == \"" + name + "\" { print $9 }' '" + TestDataPath("e2e/streams.txt") + "'",
        &md5);
    while (!md5.empty() && md5.back() == '\n') md5.pop_back();
    return md5;
}

class AsItIs : public ::testing::TestWithParam<AsIsCase> {};

TEST_P(AsItIs, SameStreamAsTheLibraryAlone) {
    const AsIsCase& c = GetParam();
    CliFolder folder;
    if (std::string(c.picture) == "astronaut") {
        ASSERT_TRUE(folder.Make("cp '" PICTOR_SOURCE_DIR "/examples/still/astronaut.tif' still/",
                                {"still/astronaut.tif"}));
    } else {
        folder.AddPicture(".", "pattern.tif", 96, 64);
    }
    const std::string picture = std::string(c.picture) + ".tif";
    const CliResult r = folder.Run("encode still/" + picture + " -o cli.m2v -q " + c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(folder.TmpIsEmpty());

    folder.Add("alone.tp", "SOURCE_FILE " + picture + "\n" + c.job);
    const JobOutcome alone = RunPictor(folder.dir.path, "alone.tp", c.options);
    ASSERT_EQ(alone.result, 0) << alone.errorText;
    EXPECT_EQ(folder.Text("cli.m2v"), folder.Text("alone.ts"));
    std::string md5;
    RunCommand("md5sum '" + folder.dir / "cli.m2v" + "' | cut -c1-32", &md5);
    md5.resize(32);
    EXPECT_EQ(md5, TableMd5(c.e2e));
}

INSTANTIATE_TEST_SUITE_P(Jobs, AsItIs, ::testing::ValuesIn(kAsIsCases),
                         [](const ::testing::TestParamInfo<AsIsCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- Alpha over the background ----

// A wholly transparent PNG: what shows is the background, at video levels.
struct BackgroundCase {
    const char* name;
    const char* option;
    int y, cb, cr;  // BT.601 at video levels
};

void PrintTo(const BackgroundCase& c, std::ostream* os) { *os << c.name; }

const BackgroundCase kBackgrounds[] = {
    {"BlackByDefault", "", 16, 128, 128},
    {"White", "--background white", 235, 128, 128},
    {"Red", "--background '#FF0000'", 81, 90, 240},
};

double Mean(const std::vector<uint8_t>& plane) {
    double sum = 0;
    for (uint8_t v : plane) sum += v;
    return plane.empty() ? -1 : sum / static_cast<double>(plane.size());
}

class Background : public ::testing::TestWithParam<BackgroundCase> {};

TEST_P(Background, ShowsWhereThePictureIsTransparent) {
    const BackgroundCase& c = GetParam();
    CliFolder folder;
    ASSERT_TRUE(folder.Make(
        PillowPython() + " -c \"from PIL import Image;"
                         " Image.new('RGBA', (352, 288), (90, 200, 30, 0)).save('clear.png')\"",
        {"clear.png"}));
    const CliResult r =
        folder.Run(std::string("encode clear.png -o clear.m2v -q ") + c.option + kPalCif);
    ASSERT_EQ(r.status, 0) << r.err;
    const DecoderVerdict verdict = DecodeStream(folder.dir / "clear.m2v", kWidth, kHeight);
    ASSERT_EQ(DecoderProblems(verdict, kWidth, kHeight), "");
    EXPECT_NEAR(Mean(verdict.ffmpeg.y), c.y, 1.5);
    EXPECT_NEAR(Mean(verdict.ffmpeg.cb), c.cb, 1.5);
    EXPECT_NEAR(Mean(verdict.ffmpeg.cr), c.cr, 1.5);
}

INSTANTIATE_TEST_SUITE_P(Colours, Background, ::testing::ValuesIn(kBackgrounds),
                         [](const ::testing::TestParamInfo<BackgroundCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- Refusals: the library's words first, then the cause and the fix ----

// make: shell text in a CliFolder (still/pic.tif is 96x64) that makes the
// files; err: what standard error says, in this order; library: whether the
// library saw the picture (its error lines appear) or the command refused it.
struct RefusalCase {
    const char* name;
    std::string make;
    std::string args;
    int status;
    std::vector<std::string> err;
    bool library;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

const std::string kLzwJob =
    "tiffcp -c lzw still/pic.tif still/lzw.tif && printf 'SOURCE_FILE lzw.tif\\n" +
    Replace(kJobSettings, "\n", "\\n") + "' > lzw.tp";

const RefusalCase kRefusals[] = {
    {"PngTooLarge",
     "convert -size 1920x1080 xc:gray50 big.png",
     "encode big.png -o big.m2v" + kPalCif,
     1,
     {"big.png is 1920x1080, which a PAL 4:3 job does not take (it takes widths 720, 704, 352, "
      "176, 96; heights 576, 288, 144, 80); --fit pad, crop or stretch scales it into the 720x576 "
      "frame"},
     false},
    {"JpegOfAnotherShape",
     "convert -size 640x480 xc:gray50 shot.jpg",
     "encode shot.jpg -o shot.m2v --target 400000 --standard ntsc --aspect 16:9",
     1,
     {"shot.jpg is 640x480, which an NTSC 16:9 job does not take (it takes widths 720, 704; "
      "heights 480); --fit pad, crop or stretch scales it into the 720x480 frame"},
     false},
    {"LzwTiffOfTheOtherStandard",
     "tiffcp -c lzw still/pic.tif lzw.tif",
     "encode lzw.tif -o lzw.m2v --target 400000 --standard pal --aspect 4:3",
     1,
     {"lzw.tif is 96x64, which a PAL 4:3 job does not take: height 64 is an NTSC height, the job "
      "is PAL (it takes widths 720, 704, 352, 176, 96; heights 576, 288, 144, 80)"},
     false},
    // The library sees a TIFF it reads as it is, and names the mismatch itself.
    {"PlainTiffOfTheOtherStandard",
     "",
     "encode still/pic.tif -o pic.m2v --target 400000 --standard pal --aspect 4:3",
     1,
     {ErrorLine(44, "Mismatch between Image Size '96x64' and FRMRT 'PAL'. <still/pic.tif>"),
      "pictor: hint: still/pic.tif is 96x64, which a PAL 4:3 job does not take: height 64 is an "
      "NTSC height, the job is PAL (it takes widths 720, 704, 352, 176, 96; heights 576, 288, "
      "144, 80); --fit pad, crop or stretch scales it into the 720x576 frame"},
     true},
    {"RunWithAnLzwTiff",
     kLzwJob,
     "run lzw.tp",
     1,
     {ErrorLine(19, "<./still/lzw.tif> is not supported types image, or header is wrong. "),
      "pictor: hint: ./still/lzw.tif: uses LZW compression (the library reads uncompressed or "
      "PackBits strips); `pictor encode` converts it, or: tiffcp -c none ./still/lzw.tif "
      "./still/lzw-plain.tif"},
     true},
    {"RunWithAnRgbaTiff",
     "convert still/pic.tif -alpha set still/pic.tif",
     "run good.tp",
     1,
     {"Pictor error 19: ",
      "pictor: hint: ./still/pic.tif: has an alpha channel; `pictor encode` converts it over "
      "--background, or: convert ./still/pic.tif -background black -alpha remove -alpha off "
      "-depth 8 -compress none ./still/pic-plain.tif"},
     true},
    {"NotAPicture",
     "echo 'not a picture' > notes.tif",
     "encode notes.tif -o notes.m2v" + kPalCif,
     1,
     {ErrorLine(19, "<notes.tif> is not supported types image, or header is wrong. "),
      "pictor: hint: notes.tif: is not a TIFF, PNG or JPEG picture"},
     true},
    {"DamagedPng",
     "convert still/pic.tif whole.png && head -c 300 whole.png > cut.png",
     "encode cut.png -o cut.m2v" + kPalCif,
     1,
     {"pictor: cannot read cut.png: "},
     false},
};

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, SayTheCauseAndTheFix) {
    const RefusalCase& c = GetParam();
    CliFolder folder;
    if (!c.make.empty()) {
        ASSERT_TRUE(folder.Make(c.make));
    }
    const std::string before = folder.NewNames();
    const CliResult r = folder.Run(c.args + " -q");
    EXPECT_EQ(r.status, c.status) << r.err;
    size_t at = 0;
    for (const std::string& part : c.err) {
        at = r.err.find(part, at);
        EXPECT_NE(at, std::string::npos) << part << "\nin\n" << r.err;
    }
    EXPECT_EQ(r.err.find("Pictor error") != std::string::npos, c.library) << r.err;
    EXPECT_EQ(folder.NewNames(), before);
    EXPECT_TRUE(folder.TmpIsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Pictures, Refusals, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
