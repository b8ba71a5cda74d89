// What the command's report (--json) tells of a job: the stream's facts, the target the job
// aimed at, the library's errors, the command's notes on how the job file is read, and where
// each input's stream goes. Each note follows the library's own reading: where the command
// reads a value one way, the job's errors show the library read it so too.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "cli/cli_support.h"
#include "support/job_runner.h"

namespace {

// A job file's first line: a picture that is missing, so the job fails as soon as it reads it.
const std::string kGone = "SOURCE_FILE gone.tif\n";
const std::string kRest = "FRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
// A picture for a 720-wide NTSC 16:9 job.
const std::string kWide = "convert still/pic.tif -scale '720x480!' wide.png";

// keys: the report's values to compare with `values` (see JsonValues); job: the text of
// job.tp, when the case runs one; err: what standard error says (parts joined by kThen);
// unsaid: what it must not say; make: shell text run in the folder first.
struct ReportCase {
    const char* name;
    std::string args;
    std::string keys;
    std::string values;
    std::string job = {};
    std::string err = {};
    std::string unsaid = {};
    std::string make = {};
};

void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }

const ReportCase kReports[] = {
    // ---- The stream and the job ----
    {"Finished", "encode still/pic.tif -o p.m2v" + kEncode,
     "result exit target width height standard aspect progressive converted panScan errors notes",
     "finished, 0, 200000, 96, 64, NTSC, 4:3, false, missing, missing, [], []"},
    {"Unmeasured", "run good.tp --no-measure", "result psnr ssimY quantiser",
     "finished, missing, missing, missing"},
    // Without a lower bound the target stands as given.
    {"ProgressiveBelowTheSmallestTarget",
     "encode still/pic.tif -o p.m2v --target 100000 --standard ntsc --aspect 4:3 "
     "--progressive-still",
     "target progressive notes", "100000, true, []"},
    {"TargetBelowTheSmallest",
     "encode still/pic.tif -o p.m2v --target 100000 --standard ntsc --aspect 4:3", "target notes",
     "160000, [\"warning: --target 100000 is outside what the job takes; it aims at 160000 "
     "bits\"]"},
    // An offset the job moves into the picture is warned of as the target is; one it takes is
    // not.
    {"PanScanBeyondTheRight",
     "encode wide.png -o w.m2v --target 400000 --standard ntsc --aspect 16:9 --pan-scan 99999",
     "panScan.offset notes",
     "1440, [\"warning: --pan-scan 99999 is outside what the job takes; the window's offset is "
     "1440 (1/16 samples)\"]",
     "", "", "", kWide},
    {"PanScanBeyondTheLeftOf704",
     "encode narrow.png -o w.m2v --target 400000 --standard pal --aspect 16:9 --pan-scan -1400",
     "panScan.offset notes",
     "-1312, [\"warning: --pan-scan -1400 is outside what the job takes; the window's offset is "
     "-1312 (1/16 samples)\"]",
     "", "", "", "convert still/pic.tif -scale '704x576!' narrow.png"},
    {"PanScanAtTheEdge",
     "encode wide.png -o w.m2v --target 400000 --standard ntsc --aspect 16:9 --pan-scan -1440",
     "panScan.offset notes", "-1440, []", "", "", "", kWide},
    // A job the command fails: its cause among the errors, its warnings among the notes, the
    // target it aimed at.
    {"FailedByTheCommand",
     "encode still/pic.tif -o nodir/p.m2v --target 2000000 --standard ntsc --aspect 4:3",
     "result target errors notes",
     "failed, 1800000, [\"cannot write nodir/p.m2v: the folder nodir is missing\"], [\"warning: "
     "--target 2000000 is outside what the job takes; it aims at 1800000 bits\"]"},
    // The library's lines, naming the job's own folder, not pictor's private one.
    {"Failed", "run gone.tp --stream=s.m2v", "result exit target errors notes output",
     "failed, 1, 200000, [\"Pictor error 13: Cannot open TIFF source file <./still/gone.tif>\", "
     "\"Pictor error 13: Cannot open TIFF source file <./still/gone.tif>\"], [], s.m2v",
     "", ErrorLine(13, "Cannot open TIFF source file <./still/gone.tif>")},

    // ---- How the job file's target is read: its leading digits, the first line only ----
    {"MultiplierSuffix", "run job.tp", "target notes",
     "160000, [\"warning: job.tp line 2: TARGET_SIZE '900k' is read as 900 (its leading "
     "digits); the job aims at 160000 bits; write the bits in full (900000)\"]",
     kGone + "TARGET_SIZE 900k\n" + kRest},
    {"ExponentForm", "run job.tp", "target notes",
     "160000, [\"warning: job.tp line 2: TARGET_SIZE '2e6' is read as 2 (its leading digits); "
     "the job aims at 160000 bits; write the bits in full (2000000)\"]",
     kGone + "TARGET_SIZE 2e6\n" + kRest},
    {"ThousandsSeparators", "run job.tp", "target notes",
     "160000, [\"warning: job.tp line 2: TARGET_SIZE '1,200,000' is read as 1 (its leading "
     "digits); the job aims at 160000 bits\"]",
     kGone + "TARGET_SIZE 1,200,000\n" + kRest},
    {"NoValue", "run job.tp", "target notes",
     "160000, [\"warning: job.tp line 2: TARGET_SIZE '' is read as 0 (its leading digits); the "
     "job aims at 160000 bits\"]",
     kGone + "TARGET_SIZE\n" + kRest},
    {"BeyondThirtyTwoBits", "run job.tp", "target notes",
     "1800000, [\"warning: job.tp line 2: TARGET_SIZE 2147483647 is above the largest target; "
     "the job aims at 1800000 bits\"]",
     kGone + "TARGET_SIZE 99999999999\n" + kRest},
    {"BelowTheSmallest", "run job.tp", "target notes",
     "160000, [\"warning: job.tp line 2: TARGET_SIZE 100000 is below the smallest target "
     "without --progressive-still; the job aims at 160000 bits\"]",
     kGone + "TARGET_SIZE 100000\n" + kRest},
    {"BelowTheSmallestProgressive", "run job.tp --progressive-still", "target notes", "100000, []",
     kGone + "TARGET_SIZE 100000\n" + kRest},
    // "#" starts a comment, on a line of its own or after the value.
    {"Comments", "run job.tp", "target notes", "300000, []",
     kGone + "#TARGET_SIZE 5\nTARGET_SIZE 300000 # bits\n" + kRest},
    // A line is read in pieces of 255 characters: a key that starts a piece is read.
    {"LongLineReadInPieces", "run job.tp", "target notes",
     "160000, [\"warning: job.tp line 1: TARGET_SIZE 100000 is below the smallest target "
     "without --progressive-still; the job aims at 160000 bits\", \"warning: job.tp line 2: a "
     "second TARGET_SIZE is not read; the first (line 1) counts\"]",
     "SOURCE_FILE gone.tif" + std::string(250, ' ') + "TARGET_SIZE 100000\nTARGET_SIZE 300000\n" +
         kRest,
     "", "TARGET_SIZE is not specified"},
    // The same within one piece: a third word is never read.
    {"ThirdWordOfALine", "run job.tp", "target notes", "missing, []",
     "SOURCE_FILE gone.tif" + std::string(220, ' ') + "TARGET_SIZE 100000\n" + kRest,
     "TARGET_SIZE is not specified", "TARGET_SIZE 100000"},

    // ---- Other keys: numbers read in part, values and keys in the wrong case ----
    {"KeysAndValuesInTheWrongCase", "run job.tp", "notes",
     "[\"warning: job.tp line 3: PAN_SCAN_VECTOR '-32px' is read as -32\", \"hint: job.tp line "
     "4: FRMRT takes PAL in capitals\", \"hint: job.tp line 5: 'Aspect_Ratio' is not read: keys "
     "are upper case (ASPECT_RATIO)\"]",
     kGone + "TARGET_SIZE 200000\nPAN_SCAN_VECTOR -32px\nFRMRT pal\nAspect_Ratio 16:9\n",
     "Invalid FRMRT: pal" + kThen + "ASPECT_RATIO is not specified"},

    // ---- Where the stream of each input goes: the inputs are missing, so every job fails
    // before coding; one job at a time, so the report keeps their order ----
    // The picture's name without its last extension; a name that is all extension keeps it.
    {"EncodeIntoAFolder",
     "encode a.png b.tif.png .hidden noext dir.x/pic 'two words.jpg' --out-dir out -j 1" + kEncode,
     "output",
     "out/a.m2v out/b.tif.m2v out/.hidden.m2v out/noext.m2v out/pic.m2v out/two words.m2v", "", "",
     "", "mkdir out"},
    // Beside the job file, its name cut at its first ".tp"; the folders' names play no part.
    {"RunBesideEachJobFile", "run menu.tp.bak a.tpl.tp sub.tp/x disc.tpl/menu.tp -j 1", "output",
     "menu.ts a.ts sub.tp/x.ts disc.tpl/menu.ts", "", "", "", "mkdir sub.tp disc.tpl"},
    {"EncodeToStandardOutput", "encode a.png -o -" + kEncode, "output", "-"},
};

class Report : public ::testing::TestWithParam<ReportCase> {};

TEST_P(Report, TellsTheJob) {
    const ReportCase& c = GetParam();
    CliFolder folder;
    if (!c.job.empty()) folder.Add("job.tp", c.job);
    if (!c.make.empty()) {
        ASSERT_TRUE(folder.Make(c.make));
    }
    const CliResult r = folder.Run(c.args + " -q --json report.json");
    EXPECT_EQ(JsonValues(folder.dir / "report.json", c.keys), c.values);
    if (!c.err.empty()) {
        EXPECT_EQ(Unsaid(c.err, r.err), "") << r.err;
    }
    if (!c.unsaid.empty()) {
        EXPECT_EQ(r.err.find(c.unsaid), std::string::npos) << r.err;
    }
    EXPECT_TRUE(folder.TmpIsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, Report, ::testing::ValuesIn(kReports),
                         ::testing::PrintToStringParamName());

}  // namespace
