// The DVD route end to end: the program stream pictor writes taken as it is by dvdauthor,
// ffprobe, mpv and ffmpeg; the elementary stream as before; and the example script from a picture
// to a disc image, through mplex too. Each case skips when a tool it runs is missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "support/decoders.h"
#include "support/files.h"

namespace {

const std::string kPictor = PICTOR_CLI_PATH;
const std::string kExamples = std::string(PICTOR_SOURCE_DIR) + "/examples";
const std::string kAstronaut = kExamples + "/still/astronaut.tif";
// The library's stream of the astronaut at 1.2 Mbit, PAL 4:3 (the end-to-end table's).
const char kAstronautAt1200kMd5[] = "b2db99e885007ac685a3a132b4600e3c";
const std::string kPal = " --target 1200000 --standard pal --aspect 4:3";

// The tools of `tools` (space-separated) that are not on the path.
std::string Missing(const std::string& tools) {
    std::string out;
    RunCommand("for t in " + tools + "; do command -v $t >/dev/null || printf '%s ' $t; done",
               &out);
    return out;
}

// Runs shell text in `dir` with HOME there, standard error with standard output.
int Shell(const TempDir& dir, const std::string& command, std::string* out = nullptr) {
    return RunCommand("cd '" + dir.path + "' && export HOME='" + dir.path + "' XDG_CONFIG_HOME='" +
                          dir.path + "' XDG_CACHE_HOME='" + dir.path + "' TMPDIR='" + dir.path +
                          "' PICTOR='" + kPictor + "' && { " + command + "; } 2>&1",
                      out);
}

std::string Md5(const TempDir& dir, const std::string& name) {
    std::string out;
    Shell(dir, "md5sum < '" + name + "' | cut -c1-32", &out);
    return out.substr(0, 32);
}

// The lines of `text` holding `word`, less those holding `except` (when given).
std::string LinesWith(const std::string& text, const std::string& word,
                      const std::string& except = "") {
    std::string found;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        if (line.find(word) != std::string::npos &&
            (except.empty() || line.find(except) == std::string::npos))
            found += line + "\n";
        at = end + 1;
    }
    return found;
}

// What dvdauthor notes for a 16:9 stream that carries a 4:3 pan-scan window; harmless.
const char kPanScanNote[] = "attempt to update aspect ratio from 16:9 to 4:3; skipping";

// ---- The example script: picture to disc image ----

struct DiscCase {
    const char* name;
    std::string options;  // of examples/dvd-menu
    bool panScan;
    bool elementary;  // the mplex route
};
void PrintTo(const DiscCase& c, std::ostream* os) { *os << c.name; }
class DvdMenu : public ::testing::TestWithParam<DiscCase> {};

TEST_P(DvdMenu, MakesADiscThatDvdauthorTakesWithoutWarnings) {
    const DiscCase& c = GetParam();
    const std::string missing =
        Missing("dvdauthor spumux genisoimage convert" + std::string(c.elementary ? " mplex" : ""));
    if (!missing.empty()) GTEST_SKIP() << "missing: " << missing;
    TempDir dir;
    // A slideshow of three stills: the astronaut, and a 4:3 picture of another size padded in.
    ASSERT_EQ(Shell(dir, "convert '" + kAstronaut + "' -resize 640x480! other.png"), 0);
    std::string said;
    const int status = Shell(dir,
                             kExamples + "/dvd-menu -o out " + c.options + " '" + kAstronaut +
                                 "' other.png '" + kAstronaut + "'",
                             &said);
    ASSERT_EQ(status, 0) << said;
    EXPECT_TRUE(FileExists(dir / "out/disc.iso"));
    EXPECT_TRUE(FileExists(dir / "out/disc/VIDEO_TS/VTS_01_1.VOB"));
    const std::string log = ReadFileText(dir / "out/dvdauthor.log");
    EXPECT_EQ(LinesWith(log, "WARN", kPanScanNote) + LinesWith(log, "ERR"), "") << log;
    EXPECT_EQ(LinesWith(log, kPanScanNote).empty(), !c.panScan) << log;
    EXPECT_NE(log.find("STAT: Processing slide3.mpg"), std::string::npos) << log;
    const std::string spumux = ReadFileText(dir / "out/spumux.log");
    EXPECT_EQ(LinesWith(spumux, "WARN") + LinesWith(spumux, "ERR"), "") << spumux;
    if (c.elementary) {
        std::string mplex;
        Shell(dir, "cat out/*.mplex.log", &mplex);
        EXPECT_EQ(LinesWith(mplex, "under-run", "no under-runs"), "") << mplex;
    }
}

INSTANTIATE_TEST_SUITE_P(Discs, DvdMenu,
                         ::testing::Values(DiscCase{"PalNarrow", "-s pal -a 4:3", false, false},
                                           DiscCase{"PalWide", "-s pal -a 16:9", false, false},
                                           DiscCase{"PalPanScan", "-s pal -p -320", true, false},
                                           DiscCase{"NtscNarrow", "-s ntsc -a 4:3", false, false},
                                           DiscCase{"NtscWide", "-s ntsc -a 16:9", false, false},
                                           DiscCase{"NtscPanScan", "-s ntsc -p 0", true, false},
                                           DiscCase{"ElementaryRoute", "-e -s pal -a 4:3", false,
                                                    true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The program stream as ffprobe, mpv and ffmpeg take it ----

struct StreamCase {
    const char* name;
    std::string make;     // shell text making picture.png, or ""
    std::string picture;  // what is coded
    std::string settings;
    bool silentAudio;
};
void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }
class ProgramStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(ProgramStream, OpensWithoutFlagsAndShowsTheElementaryStreamsPicture) {
    const StreamCase& c = GetParam();
    const std::string missing = Missing("ffprobe ffmpeg mpv convert");
    if (!missing.empty()) GTEST_SKIP() << "missing: " << missing;
    TempDir dir;
    if (!c.make.empty()) {
        ASSERT_EQ(Shell(dir, c.make), 0);
    }
    const std::string encode = "\"$PICTOR\" encode -q " + c.picture + c.settings;
    std::string said;
    ASSERT_EQ(Shell(dir, encode + " -o still.m2v"), 0);
    ASSERT_EQ(Shell(dir,
                    encode + " -o still.mpg --json report.json" +
                        (c.silentAudio ? " --silent-audio" : ""),
                    &said),
              0)
        << said;
    EXPECT_EQ(said, "") << "the program stream warns nothing";
    EXPECT_EQ(JsonValues(dir / "report.json", "form programStream.audio"),
              c.silentAudio ? "dvd, silent ac3" : "dvd, null");

    std::string probed;
    EXPECT_EQ(Shell(dir,
                    "ffprobe -v error -show_entries stream=codec_name -of csv=p=0 still.mpg | "
                    "cut -d, -f1 | grep .",
                    &probed),
              0);
    EXPECT_EQ(probed, std::string("dvd_nav_packet\nmpeg2video\n") + (c.silentAudio ? "ac3\n" : ""));

    std::string played;
    EXPECT_EQ(Shell(dir, "mpv --no-config --vo=null --ao=null --frames=1 still.mpg", &played), 0)
        << played;
    EXPECT_NE(played.find("Video --vid=1 (mpeg2video"), std::string::npos) << played;
    EXPECT_EQ(played.find("Audio --aid=1 (ac3") != std::string::npos, c.silentAudio) << played;

    // The program stream shows exactly the picture of the elementary stream, which both
    // decoders read silently and alike.
    std::string decoded;
    EXPECT_EQ(Shell(dir,
                    "ffmpeg -v error -i still.mpg -map 0:v -frames:v 1 -f rawvideo ps.yuv && "
                    "ffmpeg -v error -f mpegvideo -i still.m2v -frames:v 1 -f rawvideo es.yuv",
                    &decoded),
              0);
    EXPECT_EQ(decoded, "");
    const auto ps = ReadFileBytes(dir / "ps.yuv");
    EXPECT_FALSE(ps.empty());
    EXPECT_TRUE(ps == ReadFileBytes(dir / "es.yuv"));
    int height = 0;
    double psnr = 0;
    const std::string report = JsonValues(dir / "report.json", "height psnr.average");
    ASSERT_EQ(std::sscanf(report.c_str(), "%d, %lf", &height, &psnr), 2) << report;
    EXPECT_EQ(DecoderProblems(DecodeStream(dir / "still.m2v", 720, height), 720, height), "");
    // The coded planes against the decoded picture, as pictor measured them.
    EXPECT_GT(psnr, 28.0);
}

const std::string kNtscPicture = "convert '" + kAstronaut + "' -resize 720x480! picture.png";
const std::string kNoise = "convert -size 720x576 xc:grey +noise Random picture.png";

INSTANTIATE_TEST_SUITE_P(
    Streams, ProgramStream,
    ::testing::Values(StreamCase{"PalNarrow", "", "'" + kAstronaut + "'", kPal, false},
                      StreamCase{"PalPanScanWithAudio", "", "'" + kAstronaut + "'",
                                 " --target 1200000 --standard pal --aspect 16:9 --pan-scan -320",
                                 true},
                      StreamCase{"NtscWideWithAudio", kNtscPicture, "picture.png",
                                 " --target 900000 --standard ntsc --aspect 16:9", true},
                      // The largest still arrives in time: no underflow from the muxer.
                      StreamCase{"NoiseAtTheLimitWithAudio", kNoise, "picture.png",
                                 " --target 1800000 --standard pal --aspect 4:3", true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The form by name and --format; the elementary stream as ever ----

struct FormCase {
    const char* name;
    std::string output;
    std::string format;  // "" or " --format F"
    const char* form;
    std::string where = {};  // where the stream goes, when not -o OUTPUT
};
void PrintTo(const FormCase& c, std::ostream* os) { *os << c.name; }
class StreamForm : public ::testing::TestWithParam<FormCase> {};

TEST_P(StreamForm, FollowsTheExtensionUnlessToldAndKeepsTheElementaryStreamsBytes) {
    const FormCase& c = GetParam();
    TempDir dir;
    std::string said;
    ASSERT_EQ(Shell(dir,
                    "\"$PICTOR\" encode '" + kAstronaut + "'" +
                        (c.where.empty() ? " -o '" + c.output + "'" : c.where) + kPal + c.format +
                        " -q --json report.json --no-measure",
                    &said),
              0)
        << said;
    const auto bytes = ReadFileBytes(dir / c.output);
    ASSERT_GE(bytes.size(), 4u);
    const bool dvd = std::string(c.form) == "dvd";
    EXPECT_EQ(bytes[3], dvd ? 0xBA : 0xB3) << "a pack header or a sequence header first";
    if (dvd) {
        EXPECT_EQ(bytes.size() % 2048, 0u) << "whole DVD packs";
    } else {
        EXPECT_EQ(Md5(dir, c.output), kAstronautAt1200kMd5);
    }
    // A still this big comes late through a DVD multiplexer's default run-in: the JSON gives
    // the run-in it needs, and an elementary stream under a program stream's name is told.
    EXPECT_EQ(JsonValues(dir / "report.json", "form runInMs"), std::string(c.form) + ", 146");
    const bool told = c.format == " --format es" && std::string(c.output) == "a.mpg";
    EXPECT_EQ(said.find("mplex -f 8 -O 200ms") != std::string::npos, told) << said;
    if (!told) {
        EXPECT_EQ(said, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, StreamForm,
    ::testing::Values(FormCase{"M2v", "a.m2v", "", "es"}, FormCase{"Mpv", "a.mpv", "", "es"},
                      FormCase{"OtherName", "a.video", "", "es"},
                      FormCase{"VobInCapitals", "A.VOB", "", "dvd"},
                      FormCase{"ElementaryToldForMpg", "a.mpg", " --format es", "es"},
                      FormCase{"DvdToldForM2v", "a.m2v", " --format dvd", "dvd"},
                      // A program stream into a folder is named .mpg.
                      FormCase{"OutDirNamesMpg", "astronaut.mpg", " --format dvd", "dvd",
                               " --out-dir ."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StreamForm, RunWritesTheSameElementaryStream) {
    TempDir dir;
    ASSERT_EQ(Shell(dir, "cp -r '" + kExamples + "/still' '" + kExamples +
                             "/astronaut.tp' . && \"$PICTOR\" run -q astronaut.tp"),
              0);
    EXPECT_EQ(Md5(dir, "astronaut.ts"), kAstronautAt1200kMd5);
}

}  // namespace
