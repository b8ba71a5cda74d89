// The job parameter step run through Pictor: what each job file and picture give back (result
// and error lines) and the settings the job leaves. The settings every accepted picture derives
// for the headers are pinned by the end-to-end table.
#include <gtest/gtest.h>

#include <ostream>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "params/settings.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/state.h"

namespace {

using S = EncoderSettings;
using Line = std::pair<int, std::string>;  // "@" in a message stands for the job's folder
using Field = std::pair<int32_t S::*, int32_t>;

// The picture the job file's SOURCE_FILE names: none (no SOURCE_FILE line), or the test pattern
// at a size. A file that is not TIFF is the command's test of a source that is not a picture.
struct Picture {
    int width, height;
};
const Picture kNone{0, 0};

// Cancel 1 stops the job after the source type test.
struct JobCase {
    const char* name;
    std::string text;
    Picture picture;
    int result;
    std::vector<Line> lines;
    std::vector<Field> fields;
    JobOptions options;
};
void PrintTo(const JobCase& c, std::ostream* os) { *os << c.name; }

JobCase Case(const char* name, std::string text, Picture picture, int result,
             std::vector<Line> lines, std::vector<Field> fields = {}, JobOptions options = {}) {
    return {name, text, picture, result, lines, fields, options};
}
JobOptions Progressive(int32_t progressiveStill, int32_t cancel) {
    return {0, progressiveStill, 0, cancel};
}

const std::string kRest = "FRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
const std::string kTail = "TARGET_SIZE 400000\n" + kRest;
const std::string kPanScanPal = "FRMRT PAL\nASPECT_RATIO 9:16\nPAN_SCAN ON\nTARGET_SIZE 400000\n";
const Line kNoPanScan{35, "PAN_SCAN is not specified <job.tp> "},
    kNoRate{39, "FRMRT is not specified <job.tp>"},
    kNoAspect{40, "ASPECT_RATIO is not specified <job.tp>"},
    kNoTarget{41, "TARGET_SIZE is not specified <job.tp>"},
    kNoSource{42, "SOURCE_FILE is not specified <job.tp>"},
    kLowerPal{33, "Invalid FRMRT: pal <job.tp> "},
    kEmptyPanScan{32, "Invalid PAN_SCAN mode:   <job.tp>"},
    kNoPic{13, "Cannot open TIFF source file <@/still/>"},
    kNarrow{43, "Mismatch between Image Size '96x64' and ASPECT_RATIO '9:16' <job.tp>"},
    kVectorOff{36, "Invalid PAN_SCAN_VECTOR (PAN_SCAN mode is set to 'OFF') <job.tp> "},
    kNoVector{37, "PAN_SCAN_VECTOR is not specified(PAN_SCAN mode is set to 'ON') <job.tp> "},
    kPanScan43{38, "Mismatch between PAN_SCAN mode 'ON' and ASPECT_RATIO '3:4' <job.tp> "};
const std::vector<Line> kLowerPalMistakes = {kLowerPal, kNoPanScan, kNoAspect, kNoTarget};

const JobCase kCases[] = {
    Case("LoneVector", "PAN_SCAN_VECTOR 1\n", kNone, -1,
         {kNoPanScan, kVectorOff, kNoRate, kNoAspect, kNoTarget, kNoSource}),
    // Comments and blank lines set nothing; keys and values are case-sensitive.
    Case("CommentsBlanksAndCase",
         "# SOURCE_FILE a\n\n \t\r\n  #FRMRT PAL\nPAN_SCAN#OFF\nfrmrt NTSC\nFRMRT Ntsc\n", kNone,
         -1,
         {kEmptyPanScan, {33, "Invalid FRMRT: Ntsc <job.tp> "}, kNoAspect, kNoTarget, kNoSource}),
    // Only the first invalid line of a key reports; a key on its own has the empty value.
    Case("FirstInvalidAndEmpty",
         "PAN_SCAN\nPAN_SCAN on\nFRMRT pal\nFRMRT\nASPECT_RATIO\t\nASPECT_RATIO 4/3\nSOURCE_FILE\n",
         kNone, -1,
         {kEmptyPanScan,
          kLowerPal,
          {34, "Ivalid ASPECT_RATIO:  <job.tp> "},
          kNoTarget,
          kNoPic,
          kNoPic}),
    // A line is read in pieces of 255 characters: the rest of a longer line is a line of its own.
    Case(
        "LongLines",
        "#" + std::string(254, '-') + "FRMRT NTSC\n" + std::string(254, '-') + "ASPECT_RATIO 4:3\n",
        kNone, -1, {kNoPanScan, kNoAspect, kNoTarget, kNoSource}),
    // PAN_SCAN ON needs a vector and a 16:9 picture; without ASPECT_RATIO the picture is 4:3.
    Case("PanScanOnAlone", "PAN_SCAN OFF\nPAN_SCAN ON\n", kNone, -1,
         {kNoVector, kPanScan43, kNoRate, kNoAspect, kNoTarget, kNoSource}),
    Case("NarrowPanScan",
         "TARGET_SIZE 1\nFRMRT NTSC\nASPECT_RATIO 16:9\nPAN_SCAN ON\nPAN_SCAN_VECTOR 8\n", {96, 64},
         -1,
         {kNarrow, kNarrow, {46, "Mismatch between Image Width '96' and PAN_SCAN 'ON'. <job.tp>"}}),
    Case("PalHeightNtsc", kTail, {720, 576}, -1,
         {{45, "Mismatch between Image Size '720x576' and FRMRT 'NTSC'. <job.tp>"}}),
    Case("FileAndPictureMistakes", "FRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n", {704, 480}, -1,
         {kNoTarget, {44, "Mismatch between Image Size '704x480' and FRMRT 'PAL'. <job.tp>"}}),
    Case("SilentLaterInvalidLine", kTail + "FRMRT ntsc\n", {720, 112}, -1, {}),
    // Stopped before the picture is read, whatever the file's mistakes.
    Case("CancelAfterSourceTest", "FRMRT pal\n", {352, 288}, 1, kLowerPalMistakes,
         {{&S::FrameWidth, 720}, {&S::FrameHeight, 480}}, Progressive(0, 1)),
    Case("OnlyCancelOneStops", "FRMRT pal\n", {352, 288}, -1, kLowerPalMistakes,
         {{&S::FrameHeight, 288}}, Progressive(0, 2)),
    // The target is limited (its leading digits and the first line's counting are the command's
    // tests); a progressive still may go below the lower limit.
    Case("ProgressiveKeepsSmall", "TARGET_SIZE 100000\n" + kRest, {96, 64}, 1, {},
         {{&S::Target, 100000}}, Progressive(1, 1)),
    Case("CappedEvenWhenProgressive", "TARGET_SIZE 5000000\n" + kRest, {96, 64}, 1, {},
         {{&S::Target, 1800000}}, Progressive(1, 1)),
    Case("OnlyProgressiveOneCounts", "TARGET_SIZE 159999\n" + kRest, {96, 64}, 1, {},
         {{&S::Target, 160000}}, Progressive(2, 1)),
    // A job that codes. Unknown keys, extra words and carriage returns pass; the last valid value
    // counts; 3:4 is 4:3.
    Case("QuirksPass",
         "FRMRT PAL\nRATE 25\nTARGET_SIZE 400000 b\r\nFRMRT NTSC PAL#\r\nASPECT_RATIO 3:4\r\n"
         "PAN_SCAN OFF\r\n",
         {352, 240}, 0, {}, {{&S::FrameRate, 30}, {&S::PelAspectRatio, 2}}),
    // The 4:3 window of a 16:9 picture; its 16-bit offset is limited by the picture's width.
    Case("VectorCapped720", "PAN_SCAN_VECTOR -2000\n" + kPanScanPal, {720, 576}, 0, {},
         {{&S::PanScanHorOffset, 65536 - 1440}}),
    Case("LastVectorCapped704",
         kTail + "PAN_SCAN ON\nASPECT_RATIO 16:9\nPAN_SCAN_VECTOR -9\nPAN_SCAN_VECTOR 2000\n",
         {704, 480}, 0, {}, {{&S::PanScanHorOffset, 1312}}),
};

class JobFileTest : public ::testing::TestWithParam<JobCase> {};

TEST_P(JobFileTest, ResultMessagesAndSettings) {
    const JobCase& c = GetParam();
    ResetAllState();
    TempDir dir;
    const Picture& p = c.picture;
    if (p.width != 0) WriteStillPicture(dir.path, "pic.tif", p.width, p.height);
    WriteFileText(dir / "job.tp", c.text + (p.width != 0 ? "SOURCE_FILE pic.tif\n" : ""));
    JobOutcome out = RunPictor(dir.path, "job.tp", c.options);
    std::string expected;
    for (const Line& l : c.lines)
        expected += ErrorLine(l.first, std::regex_replace(l.second, std::regex("@"), dir.path));
    EXPECT_EQ(out.result, c.result);
    EXPECT_EQ(out.errorText, expected);
    for (const Field& field : c.fields)
        EXPECT_EQ(tSettings->*field.first, field.second) << &field - &c.fields[0];
}

INSTANTIATE_TEST_SUITE_P(Cases, JobFileTest, ::testing::ValuesIn(kCases),
                         ::testing::PrintToStringParamName());

}  // namespace
