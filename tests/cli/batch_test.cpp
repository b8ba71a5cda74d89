// Pictures of one batch coded side by side in the command's process: each stream as the same
// picture coded by a call of its own, and Ctrl-C leaving every job finished or cancelled.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "cli/cli_support.h"
#include "support/files.h"
#include "support/job_runner.h"

namespace {

const std::string kCif = " --target 400000 --standard pal --aspect 4:3";
constexpr int kPictures = 8;

std::string Name(int i) { return "n" + std::to_string(i); }

// The batch's pictures: noise, handed over as they are, and the last one converted from PNG.
std::string Input(int i) { return "still/" + Name(i) + (i == kPictures - 1 ? ".png" : ".tif"); }

std::string MakePictures(CliFolder* folder) {
    std::string inputs;
    for (int i = 0; i < kPictures; ++i) {
        WriteNoisePicture(folder->dir.path, Name(i) + ".tif", 352, 288, 100 + i);
        inputs += " " + Input(i);
    }
    const std::string last = "still/" + Name(kPictures - 1);
    folder->Make("convert " + last + ".tif " + last + ".png");
    return inputs;
}

struct BatchCase {
    const char* name;
    std::string options;
};

std::ostream& operator<<(std::ostream& out, const BatchCase& c) { return out << c.name; }

class BatchStreams : public ::testing::TestWithParam<BatchCase> {};

// With the extended analysis a job's stream may depend on the jobs coded before it on the
// same encoder: a batch must code every job as a call of its own does.
TEST_P(BatchStreams, EqualThoseOfOneCallEach) {
    CliFolder folder;
    const std::string inputs = MakePictures(&folder);
    ASSERT_TRUE(folder.Make("mkdir batch one"));
    const std::string options = " -q" + kCif + GetParam().options;
    const CliResult batch = folder.Run("encode -j 4 --out-dir batch" + options + inputs);
    ASSERT_EQ(batch.status, 0) << batch.err;
    for (int i = 0; i < kPictures; ++i) {
        const std::string input = Input(i);
        const CliResult one =
            folder.Run("encode -o one/" + Name(i) + ".m2v" + options + " " + input);
        ASSERT_EQ(one.status, 0) << one.err;
        const std::string stream = folder.Text("one/" + Name(i) + ".m2v");
        EXPECT_FALSE(stream.empty());
        EXPECT_TRUE(folder.Text("batch/" + Name(i) + ".m2v") == stream) << input;
    }
    EXPECT_TRUE(folder.TmpIsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, BatchStreams,
                         ::testing::Values(BatchCase{"Plain", ""},
                                           BatchCase{"ExtendedAnalysis", " --extended"}),
                         ::testing::PrintToStringParamName());

size_t Count(const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
}

// Ctrl-C while the fourth job waits for a reader of its named pipe, so that at least one job
// has ended and one runs: the running jobs are cancelled, no other starts, and every stream
// left is whole, with no temporary file beside it or in the temporary folder.
TEST(BatchInterrupt, CancelsTheRunningJobsAndLeavesNothingBehind) {
    CliFolder folder;
    constexpr int kJobs = 12;
    std::string inputs;
    for (int i = 0; i < kJobs; ++i) {
        WriteNoisePicture(folder.dir.path, Name(i) + ".tif", 720, 576, 200 + i);
        inputs += " still/" + Name(i) + ".tif";
    }
    ASSERT_TRUE(folder.Make("mkdir out && mkfifo out/n3.m2v"));
    const CliResult r = folder.Run(
        "encode -j 2 --json report.json --out-dir out" + kCif + inputs,
        "timeout --foreground -s KILL 60 env",
        " >\"$e.out\" & p=$!; for i in $(seq 600); do grep -q 'waiting for a reader' \"$e\" && "
        "break; sleep 0.1; done; kill -INT $p; wait $p");
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

}  // namespace
