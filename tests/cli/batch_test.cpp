// Pictures of one batch coded side by side in the command's process: each stream as the same
// picture coded by a call of its own, and Ctrl-C leaving every job finished or cancelled.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/job_runner.h"

namespace {

const std::string kCif = " --target 400000 --standard pal --aspect 4:3";

std::string Name(int i) { return "n" + std::to_string(i); }

// A batch's pictures, made in still/ by `make`, and the settings of each of its jobs.
struct BatchCase {
    const char* name;
    std::string options;
    std::string make;
    std::vector<std::string> pictures;
};

std::ostream& operator<<(std::ostream& out, const BatchCase& c) { return out << c.name; }

std::string Plasma(const std::string& size, const std::string& names) {
    return "for i in " + names + "; do convert -seed ${i#?} -size " + size +
           " plasma:fractal -depth 8 -type TrueColor -compress none still/$i.tif; done";
}

const BatchCase kBatchCases[] = {
    // Noise handed over as it is, and a PNG converted.
    {"Plain",
     kCif,
     "for i in 0 1 2 3 4 5 6 7; do convert -seed $i -size 352x288 xc:gray +noise Random -depth 8 "
     "-type TrueColor -compress none still/n$i.tif; done; convert still/n7.tif still/n7.png",
     {"n0.tif", "n1.tif", "n2.tif", "n3.tif", "n4.tif", "n5.tif", "n6.tif", "n7.png"}},
    // The extended analysis carries a value from one job to the next on an encoder: the small
    // pictures, taken first, leave one that changes the larger pictures' streams after them.
    {"ExtendedAnalysis",
     " --extended --target 160000 --standard ntsc --aspect 4:3",
     Plasma("96x64", "s0 s1 s2 s3") + " && " + Plasma("720x480", "b0 b1 b2 b3"),
     {"s0.tif", "s1.tif", "s2.tif", "s3.tif", "b0.tif", "b1.tif", "b2.tif", "b3.tif"}},
};

class BatchStreams : public ::testing::TestWithParam<BatchCase> {};

TEST_P(BatchStreams, EqualThoseOfOneCallEach) {
    const BatchCase& c = GetParam();
    CliFolder folder;
    ASSERT_TRUE(folder.Make("mkdir batch one && " + c.make));
    const std::string options = " -q" + c.options;
    std::string inputs;
    for (const std::string& picture : c.pictures) inputs += " still/" + picture;
    const CliResult batch = folder.Run("encode -j 4 --out-dir batch" + options + inputs);
    ASSERT_EQ(batch.status, 0) << batch.err;
    for (const std::string& picture : c.pictures) {
        const std::string stream = picture.substr(0, picture.rfind('.')) + ".m2v";
        const CliResult one = folder.Run("encode -o one/" + stream + options + " still/" + picture);
        ASSERT_EQ(one.status, 0) << one.err;
        const std::string alone = folder.Text("one/" + stream);
        EXPECT_FALSE(alone.empty());
        EXPECT_TRUE(folder.Text("batch/" + stream) == alone) << picture;
    }
    EXPECT_TRUE(folder.TmpIsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, BatchStreams, ::testing::ValuesIn(kBatchCases),
                         ::testing::PrintToStringParamName());

size_t Count(const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
}

// `count` pictures of noise (n0.tif ..., seeds from `seed`) coded by `encode -j 2 --out-dir out
// OPTIONS`, the stream of picture `waits` going to a named pipe that nobody reads; once its job
// waits for a reader, the shell text `signals` is sent to the command ($p), `before` going in
// front of the call.
CliResult SignalledWhileAJobWaits(CliFolder& folder, int count, uint32_t seed, int waits,
                                  const std::string& options, const std::string& before,
                                  const std::string& signals) {
    std::string inputs;
    for (int i = 0; i < count; ++i) {
        WriteNoisePicture(folder.dir.path, Name(i) + ".tif", 720, 576, seed + i);
        inputs += " still/" + Name(i) + ".tif";
    }
    EXPECT_TRUE(folder.Make("mkdir out && mkfifo out/" + Name(waits) + ".m2v"));
    return folder.Run("encode -j 2 --out-dir out" + options + kCif + inputs, before,
                      kUntilItWaitsForAReader + signals + "; wait $p");
}

// The work files the command left in out/.
size_t LeftInOut(const CliFolder& folder) {
    std::string left;
    EXPECT_EQ(RunCommand("cd '" + folder.dir.path + "/out' && ls -A", &left), 0);
    return Count(left, "pictor-");
}

// Ctrl-C while the fourth job waits for a reader of its named pipe, so that at least one job
// has ended and one runs: the running jobs are cancelled, no other starts, and every stream
// left is whole, with no temporary file beside it or in the temporary folder.
TEST(BatchInterrupt, CancelsTheRunningJobsAndLeavesNothingBehind) {
    CliFolder folder;
    constexpr int kJobs = 12;
    const CliResult r =
        SignalledWhileAJobWaits(folder, kJobs, 200, 3, " --json report.json",
                                "timeout --foreground -s KILL 60 env", "kill -INT $p");
    EXPECT_EQ(r.status, 2) << r.err;
    const std::string results = JsonValues(folder.dir / "report.json", "result");
    const size_t finished = Count(results, "finished");
    EXPECT_GE(finished, 1u) << results;
    EXPECT_GE(Count(results, "cancelled"), 1u) << results;
    EXPECT_EQ(finished + Count(results, "cancelled") + Count(results, "not started"),
              static_cast<size_t>(kJobs))
        << results;
    EXPECT_EQ(Count(r.err, "pictor: cancelling the running jobs"), 1u) << r.err;
    std::string streams;
    ASSERT_EQ(RunCommand("cd '" + folder.dir.path + "/out' && find . -type f", &streams), 0);
    EXPECT_EQ(Count(streams, ".m2v"), finished) << streams;
    EXPECT_EQ(Count(streams, "pictor-"), 0u) << streams;
    EXPECT_EQ(RunCommand("test -p '" + folder.dir.path + "/out/n3.m2v'"), 0);
    EXPECT_TRUE(folder.TmpIsEmpty());
}

// A second request while the jobs cancel ends the command at once, and still takes away the
// work folders and temporary files: the two arrive together (the command stopped meanwhile) while
// a job waits for a reader of its named pipe, others coding or done.
TEST(BatchInterrupt, ASecondRequestEndsAtOnceAndLeavesNothingBehind) {
    CliFolder folder;
    const CliResult r = SignalledWhileAJobWaits(
        folder, 4, 300, 1, "", "", "kill -STOP $p; kill -INT $p; kill -TERM $p; kill -CONT $p");
    EXPECT_TRUE(r.status == 128 + SIGINT || r.status == 128 + SIGTERM) << r.status << r.err;
    EXPECT_TRUE(folder.TmpIsEmpty());
    EXPECT_EQ(LeftInOut(folder), 0u);
}

// A crash (here sent from outside, while a job waits for a reader) ends the whole command, as a
// job's thread cannot be ended alone: it is said, and nothing is left behind.
TEST(BatchCrash, EndsTheCommandSaidAndLeavesNothingBehind) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer ends a crashed command in its own way";
#endif
    CliFolder folder;
    const CliResult r =
        SignalledWhileAJobWaits(folder, 3, 400, 1, "", "ulimit -c 0;", "kill -SEGV $p");
    EXPECT_EQ(r.status, 128 + SIGSEGV) << r.err;
    EXPECT_NE(r.err.find("crashed (signal 11); the command ends with every job\n"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(folder.TmpIsEmpty());
    EXPECT_EQ(LeftInOut(folder), 0u);
}

// What a batch says, and of its jobs: the folder it makes, the jobs that failed and why, a full
// disk named by the user's stream. `before` goes in front of the call (PICTOR_TEST_FULL_DISK names
// the write that fails as on a full disk).
const CommandCase kBatchMessages[] = {
    {"OutDirMadeWithTheFoldersAboveIt", "encode still/pic.tif --out-dir menus/ntsc -q" + kEncode, 0,
     "", "", "menus menus/ntsc menus/ntsc/pic.m2v", "menus/ntsc/pic.m2v"},
    {"FailedJobsListedLast", "encode still/pic.tif gone.tif still/two.tif --out-dir out" + kEncode,
     1,
     "pictor: 3 jobs: 1 finished, 2 failed, 0 cancelled\n"
     "pictor: failed: gone.tif: gone.tif cannot be opened: No such file or directory\n"
     "pictor: failed: still/two.tif: cannot write out/two.m2v: it is a folder\n",
     "wrote out/pic.m2v", "out/pic.m2v", "out/pic.m2v",
     "cp still/pic.tif still/two.tif && mkdir -p out/two.m2v"},
    // One failing job fails the batch, and the others finish.
    {"FailedJobsOfProcessesListedLast", "run -j 2 good.tp gone.tp more.tp", 1,
     "gone.tp: failed" + kThen +
         "pictor: 3 jobs: 2 finished, 1 failed, 0 cancelled\n"
         "pictor: failed: gone.tp: Pictor error 13: Cannot open TIFF source file "
         "<./still/gone.tif>\n",
     "wrote good.ts", "good.ts more.ts", "more.ts", "cp good.tp more.tp"},
};

INSTANTIATE_TEST_SUITE_P(Batch, CommandTest, ::testing::ValuesIn(kBatchMessages),
                         ::testing::PrintToStringParamName());

// A write that fails: as on a full disk where PICTOR_TEST_FULL_DISK names it, or past a file size
// limit. `said`: all standard error says, TMP standing for the temporary folder.
struct WriteFailureCase {
    const char* name;
    std::string before;
    std::string args;
    std::string said;
};

std::ostream& operator<<(std::ostream& out, const WriteFailureCase& c) { return out << c.name; }

const WriteFailureCase kWriteFailures[] = {
    {"DiskFullWritingTheStream", "PICTOR_TEST_FULL_DISK=stream",
     "encode still/pic.tif -o p.m2v" + kEncode,
     "pictor: cannot write p.m2v: disk full (No space left on device)\n"},
    {"DiskFullKeepingTheStream", "PICTOR_TEST_FULL_DISK=work",
     "encode still/pic.tif -o p.m2v" + kEncode,
     "pictor: cannot write p.m2v: disk full in the temporary folder TMP\n"},
    {"DiskFullInABatch", "PICTOR_TEST_FULL_DISK=work",
     "encode still/pic.tif still/two.tif -j 1 --out-dir out" + kEncode,
     "pictor: 1/2 still/pic.tif: failed\n"
     "pictor: cannot write out/pic.m2v: disk full in the temporary folder TMP\n"
     "pictor: 2/2 still/two.tif: failed\n"
     "pictor: cannot write out/two.m2v: disk full in the temporary folder TMP\n"},
    // The converted picture (720x576, 1.2 MB) outgrows the limit; the stream would not.
    {"ConvertedPictureBeyondTheFileSizeLimit", "ulimit -f 600;",
     "encode big.png -o p.m2v --target 400000 --standard pal --aspect 4:3",
     "pictor: cannot write p.m2v: cannot write into the temporary folder TMP: File too large\n"},
};

class WriteFailure : public ::testing::TestWithParam<WriteFailureCase> {};

// The user's stream and the folder without room are named, never a private file; nothing is
// left beside the destination or in the temporary folder.
TEST_P(WriteFailure, NamesTheStreamAndLeavesNothing) {
    const WriteFailureCase& c = GetParam();
    CliFolder folder;
    ASSERT_TRUE(
        folder.Make("mkdir out && cp still/pic.tif still/two.tif && convert -size "
                    "720x576 plasma:fractal -depth 8 big.png"));
    const CliResult r = folder.Run(c.args + " -q", c.before);
    EXPECT_EQ(r.status, 1);
    std::string said = c.said;
    for (size_t at; (at = said.find("TMP")) != std::string::npos;)
        said.replace(at, 3, folder.tmp.path);
    EXPECT_EQ(r.err, said);
    EXPECT_EQ(folder.NewNames(), "");
    EXPECT_TRUE(folder.TmpIsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteFailure, ::testing::ValuesIn(kWriteFailures),
                         ::testing::PrintToStringParamName());

std::string Line(const std::string& text, const std::string& start) {
    const size_t at = text.find(start);
    return at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at);
}

// The help's own batch example, run as it stands in a folder of pictures for it: the folder
// it names is made and said once; a second run finds it there; the streams, of the pictures' own
// size, decode silently.
TEST(BatchOutDir, TheHelpsExampleMakesItsFolder) {
    CliFolder folder;
    const std::string example = Line(folder.Run("--help").out, "pictor encode *.png --out-dir");
    ASSERT_NE(example, "");
    std::istringstream words(example.substr(example.find("--out-dir ")));
    std::string option, folderName;
    words >> option >> folderName;
    ASSERT_TRUE(
        folder.Make("for i in 1 2 3; do convert -seed $i -size 352x288 plasma:fractal "
                    "-depth 8 p$i.png; done"));
    for (int run = 0; run < 2; ++run) {
        const CliResult r = folder.Run(example.substr(std::strlen("pictor ")));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Count(r.err, "pictor: made folder " + folderName + "\n"), run == 0 ? 1u : 0u)
            << r.err;
        for (int i = 1; i <= 3; ++i) {
            const std::string stream =
                folder.dir / (folderName + "/p" + std::to_string(i) + ".m2v");
            EXPECT_EQ(DecoderProblems(DecodeStream(stream, 352, 288), 352, 288), "") << stream;
        }
    }
    EXPECT_TRUE(folder.TmpIsEmpty());
}

// --short: one line for each job on standard output, and no progress, alone or in a batch.
TEST(BatchShort, OneLineForEachJob) {
    CliFolder folder;
    ASSERT_TRUE(folder.Make("cp still/pic.tif still/two.tif && cp still/pic.tif still/three.tif"));
    for (const std::string inputs :
         {" still/pic.tif", " still/pic.tif still/two.tif still/three.tif"}) {
        const CliResult r = folder.Run("encode --short --out-dir out" + kEncode + inputs);
        ASSERT_EQ(r.status, 0) << r.err;
        const size_t jobs = Count(inputs, " ");
        EXPECT_EQ(Count(r.out, "\n"), jobs) << r.out;
        EXPECT_EQ(Count(r.err, "%"), 0u) << r.err;
        EXPECT_EQ(Count(r.err, "finished"), jobs == 1 ? 0u : 1u) << r.err;  // the closing line
    }
}

}  // namespace
