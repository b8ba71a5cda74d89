// The job parameter file run through Pictor, and the header sizes derived from the coded area.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "messages/message_names.h"
#include "messages/report.h"
#include "params/settings.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/state.h"

namespace {

using S = EncoderSettings;
using Line = std::pair<int, std::string>;  // "@" in a message stands for the job's folder

// The file (SOURCE_FILE pic.tif appended when there is a picture; width -1: a file that is
// not TIFF), what Pictor answers and the settings it leaves. Cancel 1 stops after the source test.
struct JobCase {
    const char* name;
    std::string text;
    int width, height, result;
    std::vector<Line> lines;
    std::vector<std::pair<int32_t S::*, int32_t>> fields = {};
    int32_t progressiveStill = 0, cancel = 0;
};

const std::string kRest = "FRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
const std::string kTail = "TARGET_SIZE 400000\n" + kRest;
const Line kNoPanScan{35, "PAN_SCAN is not specified <job.tp> "},
    kNoRate{39, "FRMRT is not specified <job.tp>"},
    kNoAspect{40, "ASPECT_RATIO is not specified <job.tp>"},
    kNoTarget{41, "TARGET_SIZE is not specified <job.tp>"},
    kNoSource{42, "SOURCE_FILE is not specified <job.tp>"},
    kPal{33, "Invalid FRMRT: pal <job.tp> "},
    kEmptyPanScan{32, "Invalid PAN_SCAN mode:   <job.tp>"},
    kNoPic{13, "Cannot open TIFF source file <@/still/>"},
    kNarrow{43, "Mismatch between Image Size '96x64' and ASPECT_RATIO '9:16' <job.tp>"},
    kVectorOff{36, "Invalid PAN_SCAN_VECTOR (PAN_SCAN mode is set to 'OFF') <job.tp> "};
const std::vector<Line> kPalMistakes = {kPal, kNoPanScan, kNoAspect, kNoTarget};

const JobCase kCases[] = {
    {"LoneVector",
     "PAN_SCAN_VECTOR 1\n",
     0,
     0,
     -1,
     {kNoPanScan, kVectorOff, kNoRate, kNoAspect, kNoTarget, kNoSource}},
    // Comments and blank lines set nothing; keys and values are case-sensitive.
    {"CommentsBlanksAndCase",
     "# SOURCE_FILE a\n\n \t\r\n  #FRMRT PAL\nPAN_SCAN#OFF\nfrmrt NTSC\nFRMRT Ntsc\n",
     0,
     0,
     -1,
     {kEmptyPanScan, {33, "Invalid FRMRT: Ntsc <job.tp> "}, kNoAspect, kNoTarget, kNoSource}},
    // Only the first invalid line of a key reports; a key on its own has the empty value.
    {"FirstInvalidAndEmpty",
     "PAN_SCAN\nPAN_SCAN on\nFRMRT pal\nFRMRT\nASPECT_RATIO\t\nASPECT_RATIO 4/3\nSOURCE_FILE\n",
     0,
     0,
     -1,
     {kEmptyPanScan, kPal, {34, "Ivalid ASPECT_RATIO:  <job.tp> "}, kNoTarget, kNoPic, kNoPic}},
    // A line is read in pieces of 255 characters: the rest of a longer line is a line of its own.
    {"LongLines",
     "#" + std::string(254, '-') + "FRMRT NTSC\n" + std::string(254, '-') + "ASPECT_RATIO 4:3\n",
     0,
     0,
     -1,
     {kNoPanScan, kNoAspect, kNoTarget, kNoSource}},
    {"VectorWithPanScanOff",
     "PAN_SCAN ON\nPAN_SCAN_VECTOR 16\n" + kTail,
     0,
     0,
     -1,
     {kVectorOff, kNoSource}},
    // PAN_SCAN ON needs a vector and a 16:9 picture; without ASPECT_RATIO the picture is taken as
    // 4:3.
    {"PanScanOnAlone",
     "PAN_SCAN OFF\nPAN_SCAN ON\n",
     0,
     0,
     -1,
     {{37, "PAN_SCAN_VECTOR is not specified(PAN_SCAN mode is set to 'ON') <job.tp> "},
      {38, "Mismatch between PAN_SCAN mode 'ON' and ASPECT_RATIO '3:4' <job.tp> "},
      kNoRate,
      kNoAspect,
      kNoTarget,
      kNoSource}},
    {"NotTiff",
     kTail,
     -1,
     -1,
     -1,
     {{19, "<@/still/pic.tif> is not supported types image, or header is wrong. "}}},
    {"NarrowPanScan",
     "TARGET_SIZE 1\nFRMRT NTSC\nASPECT_RATIO 16:9\nPAN_SCAN ON\nPAN_SCAN_VECTOR 8\n",
     96,
     64,
     -1,
     {kNarrow, kNarrow, {46, "Mismatch between Image Width '96' and PAN_SCAN 'ON'. <job.tp>"}}},
    {"PalHeightNtsc",
     kTail,
     720,
     576,
     -1,
     {{45, "Mismatch between Image Size '720x576' and FRMRT 'NTSC'. <job.tp>"}}},
    {"FileAndPictureMistakes",
     "FRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n",
     704,
     480,
     -1,
     {kNoTarget, {44, "Mismatch between Image Size '704x480' and FRMRT 'PAL'. <job.tp>"}}},
    {"SilentLaterInvalidLine", kTail + "FRMRT ntsc\n", 96, 64, -1, {}},
    // Stopped before the picture is read, whatever the file's mistakes: the defaults stand.
    {"CancelAfterSourceTest",
     "FRMRT pal\n",
     352,
     288,
     1,
     kPalMistakes,
     {{&S::FrameWidth, 720},
      {&S::FrameHeight, 480},
      {&S::ChromaFormat, 1},
      {&S::IFixedQstep, 4},
      {&S::Qmax, 31},
      {&S::IntraDCPrecision, 0},
      {&S::load_intra_qmatrix_SH, 1},
      {&S::BUFFER, 1835008},
      {&S::AltIntraTable, 1}},
     0,
     1},
    {"OnlyCancelOneStops",
     "FRMRT pal\n",
     352,
     288,
     -1,
     kPalMistakes,
     {{&S::FrameHeight, 288}},
     0,
     2},
    // The first TARGET_SIZE counts by its leading digits, limited; a progressive still may go
    // below.
    {"FirstTargetDigits",
     "TARGET_SIZE 250000bits\n" + kTail,
     96,
     64,
     1,
     {},
     {{&S::Target, 250000}},
     0,
     1},
    {"ProgressiveKeepsSmall",
     "TARGET_SIZE 100000\n" + kRest,
     96,
     64,
     1,
     {},
     {{&S::Target, 100000}},
     1,
     1},
    {"CappedEvenWhenProgressive",
     "TARGET_SIZE 5000000\n" + kRest,
     96,
     64,
     1,
     {},
     {{&S::Target, 1800000}},
     1,
     1},
    {"OnlyProgressiveOneCounts",
     "TARGET_SIZE 159999\n" + kRest,
     96,
     64,
     1,
     {},
     {{&S::Target, 160000}},
     2,
     1},
    // Jobs that code. Unknown keys, extra words and carriage returns pass; the last valid value
    // counts.
    {"SmallNtsc",
     "FRMRT PAL\nRATE 25\nTARGET_SIZE 400000 b\r\nFRMRT NTSC PAL#\r\nASPECT_RATIO 4:3\r\nPAN_SCAN "
     "OFF\r\n",
     352,
     240,
     0,
     {},
     {{&S::DisplayHorDimen, 360},
      {&S::DisplayVerDimen, 240},
      {&S::ProgressiveSeque, 1},
      {&S::TopFieldFirst, 0},
      {&S::FrameRate, 30},
      {&S::FrameRate_s, 4},
      {&S::VideoFormat, 2},
      {&S::ColourPrimaries, 6},
      {&S::TransferCharact, 6},
      {&S::MatrixCoefficients, 6}}},
    {"InterlacedNtsc",
     kTail + "ASPECT_RATIO 3:4\n",
     96,
     64,
     0,
     {},
     {{&S::PelAspectRatio, 2},
      {&S::ProgressiveSeque, 0},
      {&S::TopFieldFirst, 1},
      {&S::DisplayHorDimen, 96}}},
    {"WideProgressivePal",
     "FRMRT PAL\nASPECT_RATIO 16:9\nPAN_SCAN OFF\nTARGET_SIZE 400000\n",
     704,
     576,
     0,
     {},
     {{&S::PelAspectRatio, 3},
      {&S::DisplayHorDimen, 720},
      {&S::FrameRate, 25},
      {&S::FrameRate_s, 3},
      {&S::VideoFormat, 1},
      {&S::ColourPrimaries, 5},
      {&S::ProgressiveSeque, 1},
      {&S::TopFieldFirst, 0}},
     1},
    // The 4:3 window of a 16:9 picture; its 16-bit offset is limited by the picture's width.
    {"VectorCapped720",
     "PAN_SCAN_VECTOR -2000\nFRMRT PAL\nASPECT_RATIO 9:16\nPAN_SCAN ON\nTARGET_SIZE 400000\n",
     720,
     576,
     0,
     {},
     {{&S::PanScan, 1}, {&S::PelAspectRatio, 2}, {&S::PanScanHorOffset, 65536 - 1440}}},
    {"LastVectorCapped704",
     kTail + "PAN_SCAN ON\nASPECT_RATIO 16:9\nPAN_SCAN_VECTOR -9\nPAN_SCAN_VECTOR 2000\n",
     704,
     480,
     0,
     {},
     {{&S::PanScanHorOffset, 1312}, {&S::PanScanVerOffset, 0}, {&S::DisplayHorDimen, 540}}},
};

class JobFileTest : public ::testing::TestWithParam<JobCase> {};

TEST_P(JobFileTest, ResultMessagesAndSettings) {
    const JobCase& c = GetParam();
    ResetAllState();
    TempDir dir;
    if (c.width != 0) WriteStillPicture(dir.path, "pic.tif", std::abs(c.width), std::abs(c.height));
    if (c.width < 0)
        WriteFileText(dir / "still/pic.tif", "P6\n16 16\n255\n" + std::string(768, 'x'));
    WriteFileText(dir / "job.tp", c.text + (c.width != 0 ? "SOURCE_FILE pic.tif\n" : ""));
    JobOutcome out = RunPictor(dir.path, "job.tp", JobOptions{0, c.progressiveStill, 0, c.cancel});
    std::string expected;
    for (Line l : c.lines)
        expected += ErrorLine(l.first, std::regex_replace(l.second, std::regex("@"), dir.path));
    EXPECT_EQ(out.result, c.result);
    EXPECT_EQ(out.errorText, expected);
    for (const auto& field : c.fields)
        EXPECT_EQ(gSettings.*field.first, field.second) << &field - &c.fields[0];
}

INSTANTIATE_TEST_SUITE_P(Cases, JobFileTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<JobCase>& info) {
                             return info.param.name;
                         });

// Derived: MBCount, coded x and y offsets, horizontal and vertical size value and extension, VBV
// buffer size value and extension. None: refused, with the line given (without heading and name).
struct DeriveCase {
    int width, height, buffer;
    std::string refusal;
    std::vector<int32_t> derived;
};
class DeriveTest : public ::testing::TestWithParam<DeriveCase> {};

TEST_P(DeriveTest, HeaderSizesOrRefusal) {
    const DeriveCase& c = GetParam();
    static char text[1024];
    ResetAllState();
    BindErrorText(text, kModulePictor);
    std::snprintf(gMessageNames.pictureName, sizeof gMessageNames.pictureName, "%s", "/w/job.tif");
    gSettings.FrameWidth = c.width;
    gSettings.FrameHeight = c.height;
    gSettings.XMBlock = c.width / 16;
    gSettings.YMBlock = c.height / 16;
    gSettings.BUFFER = c.buffer;
    EXPECT_EQ(DeriveSettings(), c.derived.empty() ? -1 : 0);
    EXPECT_EQ(text, c.refusal.empty() ? "" : "Pictor error " + c.refusal + " </w/job.tif> \n");
    const int32_t S::*fields[] = {&S::MBCount,
                                  &S::CodedXOffset,
                                  &S::CodedYOffset,
                                  &S::HorizontalSizeValue,
                                  &S::HorizontalSizeExtension,
                                  &S::VerticalSizeValue,
                                  &S::VerticalSizeExtension,
                                  &S::VbvBufferSizeValue,
                                  &S::VbvBufferSizeExtension};
    for (size_t i = 0; i < c.derived.size(); ++i)
        EXPECT_EQ(gSettings.*fields[i], c.derived[i]) << i;
}

// Odd sizes leave the smaller half of the margin on the left and top. The largest buffer a 32-bit
// field holds still fits the VBV size field, so its refusal cannot be reached.
INSTANTIATE_TEST_SUITE_P(
    Sizes, DeriveTest,
    ::testing::Values(
        DeriveCase{731, 491, 1835008, "", {1350, 5, 5, 720, 0, 480, 0, 112, 0}},
        DeriveCase{8208, 4128, 0x7FFFFFFF, "", {513 * 258, 0, 0, 16, 2, 32, 1, 1023, 127}},
        DeriveCase{16400, 480, 1835008, "10: Image width [16400] is not supported", {}},
        DeriveCase{16384, 480, 1835008, "", {}},  // a multiple of 4096 wide: no line of its own
        DeriveCase{720, 16400, 1835008, "11: Image height [16400] is not supported", {}},
        DeriveCase{
            720, 16384, 1835008, "12: Vertical_size must not be zero or multiple of 4096", {}}));

}  // namespace
