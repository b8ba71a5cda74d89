// The job parameter file as an authoring application writes it, run through Pictor.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "params/job_file.h"
#include "params/settings.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/state.h"

namespace {

const std::string kValidTail = "TARGET_SIZE 400000\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";

class JobFileTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAllState(); }
    void TearDown() override { ResetAllState(); }
    JobOutcome Run(const std::string& text, const JobOptions& options = JobOptions{}) {
        WriteFileText(dir_ / "job.tp", text);
        return RunPictor(dir_.path, "job.tp", options);
    }
    // "{src}" in an expected text stands for the source path of the job.
    std::string Expand(std::string text, const std::string& source) const {
        const std::string mark = "{src}";
        for (size_t at; (at = text.find(mark)) != std::string::npos;) {
            text.replace(at, mark.size(), dir_.path + "/still/" + source);
        }
        return text;
    }
    TempDir dir_;
};

// Files whose mistakes are all in the text: no picture is read.
struct TextCase {
    const char* name;
    std::string text;
    std::vector<std::pair<int, std::string>> lines;
};

const std::string kLine255 = std::string("#") + std::string(254, '-');

const TextCase kTextCases[] = {
    {"Empty", "",
     {{35, "PAN_SCAN is not specified <job.tp> "},
      {39, "FRMRT is not specified <job.tp>"},
      {40, "ASPECT_RATIO is not specified <job.tp>"},
      {41, "TARGET_SIZE is not specified <job.tp>"},
      {42, "SOURCE_FILE is not specified <job.tp>"}}},
    {"CommentsAndBlankLinesSetNothing", "# SOURCE_FILE a.tif\n\n   \t\n  #FRMRT PAL\nPAN_SCAN#OFF\n",
     {{32, "Invalid PAN_SCAN mode:   <job.tp>"},
      {39, "FRMRT is not specified <job.tp>"},
      {40, "ASPECT_RATIO is not specified <job.tp>"},
      {41, "TARGET_SIZE is not specified <job.tp>"},
      {42, "SOURCE_FILE is not specified <job.tp>"}}},
    {"OnlyTheFirstInvalidLineOfAKeyReports",
     "PAN_SCAN on\nPAN_SCAN maybe\nFRMRT pal\nFRMRT Pal\nASPECT_RATIO 4/3\nASPECT_RATIO 16x9\nTARGET_SIZE 1\n",
     {{32, "Invalid PAN_SCAN mode: on  <job.tp>"},
      {33, "Invalid FRMRT: pal <job.tp> "},
      {34, "Ivalid ASPECT_RATIO: 4/3 <job.tp> "},
      {42, "SOURCE_FILE is not specified <job.tp>"}}},
    {"KeysAndValuesAreCaseSensitive", "frmrt NTSC\nFRMRT Ntsc\naspect_ratio 4:3\nASPECT_RATIO 16:9\nPAN_SCAN Off\n",
     {{33, "Invalid FRMRT: Ntsc <job.tp> "},
      {32, "Invalid PAN_SCAN mode: Off  <job.tp>"},
      {41, "TARGET_SIZE is not specified <job.tp>"},
      {42, "SOURCE_FILE is not specified <job.tp>"}}},
    {"AKeyWithoutValueHasTheEmptyValue", "PAN_SCAN\nFRMRT\nASPECT_RATIO\t\nTARGET_SIZE\nSOURCE_FILE\n",
     {{32, "Invalid PAN_SCAN mode:   <job.tp>"},
      {33, "Invalid FRMRT:  <job.tp> "},
      {34, "Ivalid ASPECT_RATIO:  <job.tp> "},
      {13, "Cannot open TIFF source file <{src}>"},
      {13, "Cannot open TIFF source file <{src}>"}}},
    {"VectorWithPanScanOff", "PAN_SCAN OFF\nPAN_SCAN_VECTOR 16\nTARGET_SIZE 400000\nFRMRT PAL\nASPECT_RATIO 16:9\n",
     {{36, "Invalid PAN_SCAN_VECTOR (PAN_SCAN mode is set to 'OFF') <job.tp> "},
      {42, "SOURCE_FILE is not specified <job.tp>"}}},
    {"VectorWithoutPanScan", "PAN_SCAN_VECTOR 16\nTARGET_SIZE 400000\nFRMRT PAL\nASPECT_RATIO 16:9\n",
     {{35, "PAN_SCAN is not specified <job.tp> "},
      {36, "Invalid PAN_SCAN_VECTOR (PAN_SCAN mode is set to 'OFF') <job.tp> "},
      {42, "SOURCE_FILE is not specified <job.tp>"}}},
    {"PanScanOnWithoutVectorOrWideAspect", "PAN_SCAN OFF\nPAN_SCAN ON\nTARGET_SIZE 400000\nFRMRT PAL\n",
     {{37, "PAN_SCAN_VECTOR is not specified(PAN_SCAN mode is set to 'ON') <job.tp> "},
      {38, "Mismatch between PAN_SCAN mode 'ON' and ASPECT_RATIO '3:4' <job.tp> "},
      {40, "ASPECT_RATIO is not specified <job.tp>"},
      {42, "SOURCE_FILE is not specified <job.tp>"}}},
    {"PanScanOnWithFourThree", "PAN_SCAN ON\nPAN_SCAN_VECTOR 0\nASPECT_RATIO 16:9\nASPECT_RATIO 3:4\nASPECT_RATIO x\n",
     {{38, "Mismatch between PAN_SCAN mode 'ON' and ASPECT_RATIO '3:4' <job.tp> "},
      {39, "FRMRT is not specified <job.tp>"},
      {41, "TARGET_SIZE is not specified <job.tp>"},
      {42, "SOURCE_FILE is not specified <job.tp>"}}},
    // A line is read in pieces of 255 characters: the rest of a long comment line
    // is a line of its own.
    {"TheRestOfALongLineIsALineOfItsOwn", kLine255 + "FRMRT NTSC\n" + kLine255.substr(0, 254) + "ASPECT_RATIO 4:3\n",
     {{35, "PAN_SCAN is not specified <job.tp> "},
      {40, "ASPECT_RATIO is not specified <job.tp>"},
      {41, "TARGET_SIZE is not specified <job.tp>"},
      {42, "SOURCE_FILE is not specified <job.tp>"}}},
    {"UnknownKeysExtraWordsAndCarriageReturnsAreIgnored",
     "FRAME_RATE PAL\nframe PAL\nTARGET_SIZE 400000 bits\r\nFRMRT NTSC PAL\r\nASPECT_RATIO 4:3\r\nPAN_SCAN OFF\r\n",
     {{42, "SOURCE_FILE is not specified <job.tp>"}}},
};

class JobFileTextTest : public JobFileTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(JobFileTextTest, ReportsEveryMistakeInOrder) {
    const TextCase& c = GetParam();
    JobOutcome out = Run(c.text);
    std::string expected;
    for (const auto& line : c.lines) expected += ErrorLine(line.first, Expand(line.second, ""));
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(out.status, -1);
    EXPECT_EQ(out.progress, 100);
    EXPECT_EQ(out.errorText, expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, JobFileTextTest, ::testing::ValuesIn(kTextCases),
                         [](const ::testing::TestParamInfo<TextCase>& info) { return info.param.name; });

// Files checked against a real picture: its presence, its type and its size.
struct PictureCase {
    const char* name;
    std::string text;  // SOURCE_FILE pic.tif is appended
    int width, height;  // 0: no picture; -1: a file that is not TIFF
    std::vector<std::pair<int, std::string>> lines;
};

const PictureCase kPictureCases[] = {
    {"MissingSourceReportsTwice", kValidTail, 0, 0,
     {{13, "Cannot open TIFF source file <{src}>"}, {13, "Cannot open TIFF source file <{src}>"}}},
    {"SourceThatIsNotTiff", kValidTail, -1, -1, {{19, "<{src}> is not supported types image, or header is wrong. "}}},
    {"NarrowShortPictureIsNotWide", "TARGET_SIZE 400000\nFRMRT NTSC\nASPECT_RATIO 16:9\nPAN_SCAN OFF\n", 352, 240,
     {{43, "Mismatch between Image Size '352x240' and ASPECT_RATIO '9:16' <job.tp>"},
      {43, "Mismatch between Image Size '352x240' and ASPECT_RATIO '9:16' <job.tp>"}}},
    {"WideButShortPictureIsNotWide", "TARGET_SIZE 400000\nFRMRT NTSC\nASPECT_RATIO 9:16\nPAN_SCAN OFF\n", 720, 240,
     {{43, "Mismatch between Image Size '720x240' and ASPECT_RATIO '9:16' <job.tp>"}}},
    {"NtscHeightWithPal", "TARGET_SIZE 400000\nFRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", 720, 480,
     {{44, "Mismatch between Image Size '720x480' and FRMRT 'PAL'. <job.tp>"}}},
    {"PalHeightWithNtsc", kValidTail, 720, 576,
     {{45, "Mismatch between Image Size '720x576' and FRMRT 'NTSC'. <job.tp>"}}},
    {"SmallPalHeightWithNtsc", kValidTail, 176, 144,
     {{45, "Mismatch between Image Size '176x144' and FRMRT 'NTSC'. <job.tp>"}}},
    {"NarrowPanScan", "TARGET_SIZE 400000\nFRMRT NTSC\nASPECT_RATIO 16:9\nPAN_SCAN ON\nPAN_SCAN_VECTOR 8\n", 96, 64,
     {{43, "Mismatch between Image Size '96x64' and ASPECT_RATIO '9:16' <job.tp>"},
      {43, "Mismatch between Image Size '96x64' and ASPECT_RATIO '9:16' <job.tp>"},
      {46, "Mismatch between Image Width '96' and PAN_SCAN 'ON'. <job.tp>"}}},
    // Mistakes in the file do not stop the picture from being read and checked.
    {"FileAndPictureMistakesTogether", "FRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", 704, 480,
     {{41, "TARGET_SIZE is not specified <job.tp>"},
      {44, "Mismatch between Image Size '704x480' and FRMRT 'PAL'. <job.tp>"}}},
    // A later invalid line still fails the job, but only the first line of a key reports.
    {"SilentLaterInvalidLine", kValidTail + "FRMRT ntsc\n", 96, 64, {}},
    {"LowerCaseValue", "TARGET_SIZE 400000\nFRMRT ntsc\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", 96, 64,
     {{33, "Invalid FRMRT: ntsc <job.tp> "}}},
};

class JobFilePictureTest : public JobFileTest, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(JobFilePictureTest, ChecksThePictureAgainstTheFile) {
    const PictureCase& c = GetParam();
    if (c.width > 0) {
        WriteStillPicture(dir_.path, "pic.tif", c.width, c.height);
    } else if (c.width < 0) {
        RunCommand("mkdir -p '" + dir_.path + "/still'");
        WriteFileText(dir_ / "still/pic.tif", "P6\n16 16\n255\n" + std::string(768, '\x40'));
    }
    JobOutcome out = Run(c.text + "SOURCE_FILE pic.tif\n");
    std::string expected;
    for (const auto& line : c.lines) expected += ErrorLine(line.first, Expand(line.second, "pic.tif"));
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(out.status, -1);
    EXPECT_EQ(out.errorText, expected);
    EXPECT_EQ(gSettings.FrameWidth, c.width > 0 ? c.width : 720);
}

INSTANTIATE_TEST_SUITE_P(Cases, JobFilePictureTest, ::testing::ValuesIn(kPictureCases),
                         [](const ::testing::TestParamInfo<PictureCase>& info) { return info.param.name; });

// TARGET_SIZE is read before the first cancellation point, so a cancelled job
// shows what the file made of it.
struct TargetCase {
    const char* name;
    std::string lines;
    int32_t progressiveStill;
    int32_t target;
};

const TargetCase kTargetCases[] = {
    {"AboveTheLargestPicture", "TARGET_SIZE 2000000\n", 0, 1800000},
    {"TheLargestPicture", "TARGET_SIZE 1800000\n", 0, 1800000},
    {"BelowTheSmallest", "TARGET_SIZE 100000\n", 0, 160000},
    {"TheSmallest", "TARGET_SIZE 160000\n", 0, 160000},
    {"ProgressiveStillKeepsASmallTarget", "TARGET_SIZE 100000\n", 1, 100000},
    {"ProgressiveStillKeepsZero", "TARGET_SIZE 0\n", 1, 0},
    {"ProgressiveStillKeepsANegativeValue", "TARGET_SIZE -5\n", 1, -5},
    {"ProgressiveStillStillCapsTheTop", "TARGET_SIZE 5000000\n", 1, 1800000},
    {"OnlyTheValueOfTheSwitchOneCounts", "TARGET_SIZE 100000\n", 2, 160000},
    {"TheFirstOccurrenceCounts", "TARGET_SIZE 300000\nTARGET_SIZE 400000\n", 0, 300000},
    {"TheLeadingDigitsCount", "TARGET_SIZE 250000bits\n", 0, 250000},
    {"NoDigitsGiveZero", "TARGET_SIZE many\n", 0, 160000},
};

class JobFileTargetTest : public JobFileTest, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(JobFileTargetTest, TargetAsReadAndLimited) {
    const TargetCase& c = GetParam();
    WriteStillPicture(dir_.path, "pic.tif", 96, 64);
    JobOptions options;
    options.progressiveStill = c.progressiveStill;
    options.cancel = 1;
    JobOutcome out = Run(c.lines + "FRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\nSOURCE_FILE pic.tif\n", options);
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(gSettings.Target, c.target);
    EXPECT_EQ(out.errorText, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, JobFileTargetTest, ::testing::ValuesIn(kTargetCases),
                         [](const ::testing::TestParamInfo<TargetCase>& info) { return info.param.name; });

TEST_F(JobFileTest, CancelStopsAfterTheSourceTestEvenWhenTheFileHasMistakes) {
    WriteStillPicture(dir_.path, "pic.tif", 352, 288);
    JobOptions options;
    options.cancel = 1;
    JobOutcome out = Run("FRMRT pal\nSOURCE_FILE pic.tif\n", options);
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.progress, 100);
    EXPECT_EQ(out.errorText, ErrorLine(33, "Invalid FRMRT: pal <job.tp> ") +
                                 ErrorLine(35, "PAN_SCAN is not specified <job.tp> ") +
                                 ErrorLine(40, "ASPECT_RATIO is not specified <job.tp>") +
                                 ErrorLine(41, "TARGET_SIZE is not specified <job.tp>"));
    // Stopped before the picture was decoded: the size is still the default.
    EXPECT_EQ(gSettings.FrameHeight, 480);
    options.cancel = 2;  // only 1 asks the job to stop
    out = Run("FRMRT pal\nSOURCE_FILE pic.tif\n", options);
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(gSettings.FrameHeight, 288);
}

// Settings of jobs that code: what the headers of the stream will carry.
using Field = int32_t EncoderSettings::*;
struct SettingsCase {
    const char* name;
    std::string text;  // SOURCE_FILE pic.tif and TARGET_SIZE 400000 are appended
    int width, height;
    int32_t progressiveStill;
    std::vector<std::pair<Field, int32_t>> fields;
};

const SettingsCase kSettingsCases[] = {
    {"SmallNtscFourThree", "FRMRT NTSC # a remark\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", 352, 240, 0,
     {{&EncoderSettings::XMBlock, 22}, {&EncoderSettings::YMBlock, 15}, {&EncoderSettings::MBlockPerSlice, 22},
      {&EncoderSettings::DisplayHorDimen, 360}, {&EncoderSettings::DisplayVerDimen, 240},
      {&EncoderSettings::PelAspectRatio, 2}, {&EncoderSettings::ProgressiveSeque, 1},
      {&EncoderSettings::TopFieldFirst, 0}, {&EncoderSettings::FrameRate, 30}, {&EncoderSettings::FrameRate_s, 4},
      {&EncoderSettings::VideoFormat, 2}, {&EncoderSettings::ColourPrimaries, 6},
      {&EncoderSettings::TransferCharact, 6}, {&EncoderSettings::MatrixCoefficients, 6},
      {&EncoderSettings::PanScan, 0}}},
    {"InterlacedNtscWithThreeFour", "FRMRT NTSC\nASPECT_RATIO 3:4\nPAN_SCAN OFF\n", 720, 480, 0,
     {{&EncoderSettings::PelAspectRatio, 2}, {&EncoderSettings::ProgressiveSeque, 0},
      {&EncoderSettings::TopFieldFirst, 1}, {&EncoderSettings::DisplayHorDimen, 720}}},
    {"WidePal", "FRMRT PAL\nASPECT_RATIO 16:9\nPAN_SCAN OFF\n", 704, 576, 0,
     {{&EncoderSettings::PelAspectRatio, 3}, {&EncoderSettings::DisplayHorDimen, 720},
      {&EncoderSettings::DisplayVerDimen, 576}, {&EncoderSettings::FrameRate, 25}, {&EncoderSettings::FrameRate_s, 3},
      {&EncoderSettings::VideoFormat, 1}, {&EncoderSettings::ColourPrimaries, 5},
      {&EncoderSettings::ProgressiveSeque, 0}}},
    {"ProgressiveStillOfAnInterlacedSize", "FRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", 720, 576, 1,
     {{&EncoderSettings::ProgressiveSeque, 1}, {&EncoderSettings::TopFieldFirst, 0}}},
    {"TheLastValidStandardCounts", "FRMRT PAL\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", 176, 112, 0,
     {{&EncoderSettings::FrameRate, 30}, {&EncoderSettings::DisplayHorDimen, 176},
      {&EncoderSettings::ProgressiveSeque, 1}}},
    {"PanScanVectorLimitedAt720", "FRMRT PAL\nASPECT_RATIO 9:16\nPAN_SCAN ON\nPAN_SCAN_VECTOR 2000\n", 720, 576, 0,
     {{&EncoderSettings::PanScan, 1}, {&EncoderSettings::PelAspectRatio, 2},
      {&EncoderSettings::DisplayHorDimen, 540}, {&EncoderSettings::PanScanHorOffset, 1440},
      {&EncoderSettings::PanScanVerOffset, 0}}},
    {"NegativeVectorLimitedAt720", "FRMRT PAL\nASPECT_RATIO 16:9\nPAN_SCAN ON\nPAN_SCAN_VECTOR -2000\n", 720, 576, 0,
     {{&EncoderSettings::PanScanHorOffset, 64096}}},
    {"VectorLimitedAt704", "FRMRT NTSC\nASPECT_RATIO 16:9\nPAN_SCAN ON\nPAN_SCAN_VECTOR 2000\n", 704, 480, 0,
     {{&EncoderSettings::PanScanHorOffset, 1312}, {&EncoderSettings::DisplayHorDimen, 540}}},
    {"TheLastVectorCounts",
     "FRMRT NTSC\nASPECT_RATIO 16:9\nPAN_SCAN ON\nPAN_SCAN_VECTOR 99\nPAN_SCAN_VECTOR -320   # 20 samples\n", 704,
     480, 0, {{&EncoderSettings::PanScanHorOffset, 65216}}},
};

class JobFileSettingsTest : public JobFileTest, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(JobFileSettingsTest, FillsTheSettings) {
    const SettingsCase& c = GetParam();
    WriteStillPicture(dir_.path, "pic.tif", c.width, c.height);
    JobOptions options;
    options.progressiveStill = c.progressiveStill;
    JobOutcome out = Run(c.text + "TARGET_SIZE 400000\nSOURCE_FILE pic.tif\n", options);
    EXPECT_EQ(out.result, 0) << out.errorText;
    for (size_t i = 0; i < c.fields.size(); ++i) {
        EXPECT_EQ(gSettings.*(c.fields[i].first), c.fields[i].second) << "field " << i;
    }
    EXPECT_EQ(gSettings.FrameWidth, c.width);
    EXPECT_EQ(gSettings.FrameHeight, c.height);
    EXPECT_EQ(gSettings.ProfileLevel, 72);
}

INSTANTIATE_TEST_SUITE_P(Cases, JobFileSettingsTest, ::testing::ValuesIn(kSettingsCases),
                         [](const ::testing::TestParamInfo<SettingsCase>& info) { return info.param.name; });

TEST(StripComment, CutsAtTheFirstHash) {
    const std::pair<std::string, std::string> cases[] = {
        {"FRMRT NTSC # remark\n", "FRMRT NTSC "}, {"#all", ""}, {"a#b#c", "a"}, {"none\n", "none\n"}, {"", ""}};
    for (const auto& c : cases) {
        char line[256];
        std::snprintf(line, sizeof line, "%s", c.first.c_str());
        StripComment(line);
        EXPECT_EQ(std::string(line), c.second) << c.first;
    }
}

}  // namespace
