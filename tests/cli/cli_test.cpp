// One call of the pictor command: its arguments, where the stream goes (never
// over anything it must not replace, never partial, links followed, pipes and
// devices written through), batches and Ctrl-C, what it adds to the library's
// words, and the refusals of pictures it cannot code.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "cli/cli_support.h"
#include "support/job_runner.h"

namespace {

const char kOld[] = "earlier stream";
// big.tp: a 720x576 job whose stream (about 225,000 bytes) outgrows a pipe's buffer.
const std::string kBigJob =
    "convert -seed 7 -size 720x576 xc:gray50 +noise Random -type TrueColor -depth 8 "
    "-compress none still/big.tif && sed 's/pic.tif/big.tif/; s/200000/1800000/; s/NTSC/PAL/' "
    "good.tp > big.tp";
const std::string kPal = " --target 400000 --standard pal --aspect 4:3";
const std::string kPalSizes = "(it takes widths 720, 704, 352, 176, 96; heights 576, 288, 144, 80)";

// After a pipe's reader started before the call: the call's status once the reader is done.
const std::string kWaitForTheReader = "; s=$?; wait; exit $s";
// Ctrl-C once the command waits for a reader of a named pipe (for a minute at
// most), the command being killed when it has not ended a minute after its start.
// Its standard output goes aside: a job process that outlived it would hold
// the test's pipe open.
const std::string kForAMinute = "timeout --foreground -s KILL 60 env";
const std::string kCtrlCWhenWaiting = kUntilItWaitsForAReader + "kill -INT $p; wait $p";

const CommandCase kCommandCases[] = {
    // ---- Arguments ----
    {"HelpOfASubcommand", "encode --help", 0, "", "Usage: pictor run"},
    {"Version", "--version", 0, "", "pictor "},
    {"NoArguments", "", 64, "Usage: pictor run"},
    {"UnknownCommand", "frobnicate", 64, "unknown command 'frobnicate'"},
    {"OptionOfTheOtherCommand", "run good.tp --target 5", 64, "run: unknown option '--target'"},
    {"OneStreamPathForTwoJobs", "run good.tp gone.tp --stream x.m2v", 64,
     "--stream takes one job parameter file"},
    {"StreamAndJsonOnStandardOutput", "run good.tp --stream - --json -", 64,
     "standard output cannot carry both"},
    {"PreviewOverTheStream", "encode still/pic.tif -o p.m2v --preview ./p.m2v" + kEncode, 64,
     "--preview ./p.m2v is where the stream goes"},
    {"PreviewForABatch", "run good.tp gone.tp --preview p.png", 64, "--preview takes one input"},
    {"AttachedValuesAndDoubleDash",
     "encode -onew.m2v --target=200000 --standard=NTSC --aspect=4:3 -- still/pic.tif", 0, "100%",
     "wrote new.m2v", "new.m2v", "new.m2v"},
    {"ShortSummary", "run good.tp --short", 0, "", "good.ts: " + kThen + " dB, ", "good.ts",
     "good.ts"},
    // The JSON alone on standard output, the summary on standard error.
    {"JsonOnStandardOutputUnmeasured", "run good.tp --no-measure --json - > report.json", 0,
     "wrote good.ts" + kThen + "  time     ", "", "good.ts report.json", "good.ts", "", "", "",
     "! grep -q psnr report.json", "finished"},
    {"Preview", "encode still/pic.tif -o p.m2v -q --preview p.png" + kEncode, 0, "", "",
     "p.m2v p.png", "p.m2v", "", "", "", "test \"$(identify -format %wx%h p.png)\" = 96x64"},

    // ---- Where the stream goes (a missing folder or a folder in its place: the report's and the
    // batch's cases) ----
    // The file at the link's end is replaced.
    {"FollowsALink", "run good.tp -q --stream link.m2v", 0, "", "", "", "old.m2v",
     "ln -s old.m2v link.m2v"},
    {"FollowsADanglingLink", "run good.tp -q --stream link.m2v", 0, "", "", "made.m2v", "made.m2v",
     "ln -s made.m2v link.m2v"},
    {"WritesBesideItsJobFileInAnyFolder", "run disc.tpl/menu.tp", 0, "100%",
     "wrote disc.tpl/menu.ts" + kThen + "average (6:1:1) ", "disc.tpl/menu.ts", "disc.tpl/menu.ts",
     "mkdir -p disc.tpl/still && cp still/pic.tif disc.tpl/still && cp good.tp disc.tpl/menu.tp"},
    {"StandardOutput", "run good.tp --stream - > got.m2v", 0, "wrote standard output", "",
     "got.m2v", "got.m2v"},
    {"NamedPipe", "run good.tp -q --stream pipe.fifo", 0, "", "", "got.m2v", "got.m2v",
     "mkfifo pipe.fifo", "timeout 60 cat pipe.fifo > got.m2v & ", kWaitForTheReader},
    {"NoClobberWritesANewFile", "run good.tp -q -n --stream new.m2v", 0, "", "", "new.m2v",
     "new.m2v"},
    {"NoClobberKeepsAFile", "run good.tp -q --no-clobber --stream old.m2v", 1,
     "old.m2v exists and --no-clobber keeps it"},
    {"NoClobberKeepsAPreview", "run good.tp -n --preview old.m2v", 1,
     "old.m2v exists and --no-clobber keeps it"},
    {"NotOverTheJobFile", "run good.tp -q --stream good.tp", 1,
     "will not write over the job parameter file"},
    {"NotOverThePictureThroughALink", "encode still/pic.tif -q -o link.m2v" + kEncode, 1,
     "will not write over the input picture", "", "", "", "ln -s still/pic.tif link.m2v"},
    {"PreviewNotOverThePicture", "encode still/pic.tif -o p.m2v --preview still/pic.tif" + kEncode,
     1, "--preview: will not write over the input picture"},
    {"JsonNotOverAnInput", "run good.tp -q --json good.tp", 1, "will not write over an input"},
    // The reader takes 100 bytes and leaves; the rest cannot be written.
    {"PipeReaderLeavesEarly", "run big.tp -q --stream pipe.fifo", 1,
     "cannot write pipe.fifo: Broken pipe", "", "got", "", kBigJob + " && mkfifo pipe.fifo",
     "timeout 60 head -c 100 pipe.fifo > got & ", kWaitForTheReader},
    // A file size limit cuts the library's stream short: the stream is refused
    // and the destination keeps what it held.
    {"WriteFailure", "run big.tp -q --stream old.m2v", 1, "the stream came out incomplete", "", "",
     "", kBigJob, "ulimit -f 64; "},

    // ---- Batches: each job in a process of its own, the worst status of them all ----
    // The third job's stream goes to a named pipe that nobody reads, so the job
    // waits there until Ctrl-C; the fourth never starts. A cancelled batch exits
    // as cancelled even though a job of it failed.
    {"CtrlCCancelsTheRunningJobAndStartsNoOther",
     "run -j 1 --json report.json good.tp gone.tp waits.tp later.tp", 2,
     "waits.tp: cancelled" + kThen + "4 jobs: 1 finished, 1 failed, 2 cancelled", "",
     "good.ts report.json", "good.ts",
     "cp good.tp waits.tp && cp good.tp later.tp && mkfifo waits.ts", kForAMinute,
     kCtrlCWhenWaiting, "test -p waits.ts", "finished failed cancelled not started"},
    {"CtrlCCancelsASingleJob", "run good.tp --stream pipe.fifo", 2, "pictor: cancelled", "", "", "",
     "mkfifo pipe.fifo", kForAMinute, kCtrlCWhenWaiting},

    // ---- Notes on how a job file is read, beside the library's words (the notes of every kind
    // are the report's tests) ----
    {"TargetAboveTheLargest", "run job.tp", 0,
     "TARGET_SIZE 2000000 is above the largest target; the job aims at 1800000 bits",
     "of the target 1800000 bits", "job.ts", "job.ts", "sed s/200000/2000000/ good.tp > job.tp"},
    // Only the first FRMRT line's value is ever named: the library says nothing.
    {"RepeatedKeyWithAnInvalidValue", "run job.tp", 1,
     "pictor: the job failed without a message" + kThen +
         "job.tp line 6: FRMRT 'SECAM' is not valid; it fails the job",
     "", "", "", "{ cat good.tp; echo FRMRT SECAM; } > job.tp"},
    {"PanScanSummary",
     "encode wide.png -o wide.m2v --target 400000 --standard ntsc --aspect 16:9 --pan-scan -320", 0,
     "100%",
     "picture  720x480, NTSC 16:9 picture, 4:3 pan-scan window (540 of 720 samples) at offset "
     "-320/16, interlaced",
     "wide.m2v", "", "convert still/pic.tif -scale '720x480!' wide.png"},

    // ---- Pictures refused: the library's words first, then the cause and the fix ----
    {"ConvertedTiffOfTheOtherStandard", "encode lzw.tif -q -o lzw.m2v --fit none" + kPal, 1,
     "lzw.tif is 96x64, which a PAL 4:3 job does not take: height 64 is an NTSC height" + kThen +
         kPalSizes + "; --fit pad, crop or stretch scales it into the 720x576 frame",
     "", "", "", "tiffcp -c lzw still/pic.tif lzw.tif"},
    // The library sees a TIFF it reads as it is, and names the mismatch itself.
    {"PlainTiffOfTheOtherStandard", "encode still/pic.tif -q -o pic.m2v --fit none" + kPal, 1,
     ErrorLine(44, "Mismatch between Image Size '96x64' and FRMRT 'PAL'. <still/pic.tif>") + kThen +
         "pictor: hint: still/pic.tif is 96x64, which a PAL 4:3 job does not take: height 64 is "
         "an NTSC height"},
    {"RunWithAnLzwTiff", "run -q lzw.tp", 1,
     ErrorLine(19, "<./still/lzw.tif> is not supported types image, or header is wrong. ") + kThen +
         "pictor: hint: ./still/lzw.tif: uses LZW compression" + kThen +
         "or: tiffcp -c none ./still/lzw.tif ./still/lzw-plain.tif",
     "", "", "", "tiffcp -c lzw still/pic.tif still/lzw.tif && sed s/pic/lzw/ good.tp > lzw.tp"},
    // The command's own words for what it can tell; the library is never asked.
    {"NotAPicture", "encode notes.tif -q -o n.m2v" + kPal, 1,
     "pictor: notes.tif is text, not a picture", "", "", "", "echo 'not a picture' > notes.tif"},
    {"EmptyPicture", "encode empty.png -q -o n.m2v" + kPal, 1,
     "pictor: empty.png is empty (0 bytes), not a picture", "", "", "", ": > empty.png"},
    {"FolderAsPicture", "encode pics.png -q -o n.m2v" + kPal, 1,
     "pictor: pics.png is a folder, not a picture", "", "", "", "mkdir pics.png"},
    {"FormNotRead", "encode pic.bmp -q -o n.m2v" + kPal, 1,
     "pictor: pic.bmp is a BMP picture, which pictor does not read: convert it to PNG first, "
     "e.g. with ImageMagick's convert FILE FILE.png",
     "", "", "", "convert still/pic.tif pic.bmp"},
    {"DamagedPng", "encode cut.png -q -o cut.m2v" + kPal, 1, "pictor: cannot read cut.png: ", "",
     "", "", "convert still/pic.tif whole.png && head -c 300 whole.png > cut.png"},
};

TEST_P(CommandTest, ExitsAndSaysAsExpected) {
    const CommandCase& c = GetParam();
    CliFolder folder;
    folder.Add("old.m2v", kOld);
    if (!c.make.empty()) {
        ASSERT_TRUE(folder.Make(c.make));
    }
    const std::string jobFile = folder.Text("good.tp");
    const std::string pictureBefore = folder.Text("still/pic.tif");
    const CliResult r = folder.Run(c.args, c.before, c.after);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(Unsaid(c.out, r.out), "") << r.out;
    EXPECT_EQ(Unsaid(c.err, r.err), "") << r.err;
    EXPECT_EQ(folder.NewNames(), c.made);
    EXPECT_TRUE(folder.TmpIsEmpty());  // pictor cleans up its temporary folder
    EXPECT_EQ(folder.Text("good.tp"), jobFile);
    EXPECT_EQ(folder.Text("still/pic.tif"), pictureBefore);
    if (!c.stream.empty()) {
        EXPECT_EQ(folder.StreamProblems(c.stream), "");
    }
    if (c.stream != "old.m2v") {
        EXPECT_EQ(folder.Text("old.m2v"), kOld);
    }
    if (!c.check.empty()) {
        EXPECT_TRUE(folder.Make(c.check));
    }
    if (!c.results.empty()) {
        EXPECT_EQ(JsonValues(folder.dir / "report.json", "result"), c.results);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandTest, ::testing::ValuesIn(kCommandCases),
                         ::testing::PrintToStringParamName());

// A character device is written straight through, never replaced by a file.
// The node is made in the test's own folder (a null device); without the
// right to make nodes, or where the folder's file system refuses devices, the
// case is skipped.
TEST(OutputDeviceTest, WritesThroughACharacterDevice) {
    CliFolder folder;
    const std::string node = folder.dir / "null.dev";
    if (mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make a device node here";
    if (RunCommand("printf x > '" + node + "'") != 0) GTEST_SKIP() << "devices refused here";
    const CliResult r = folder.Run("run good.tp -q --stream null.dev");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(RunCommand("test -c '" + node + "'"), 0);
    EXPECT_EQ(folder.NewNames(), "null.dev");
}

// The command's jobs run in the shared library, not in a static copy of it.
TEST(CommandBuild, JobsRunInTheSharedLibrary) {
    std::string symbols;
    ASSERT_EQ(RunCommand("nm -D --undefined-only '" PICTOR_CLI_PATH "' 2>&1", &symbols), 0);
    EXPECT_NE(symbols.find(" U Pictor\n"), std::string::npos) << symbols;
}

}  // namespace
