// Several inputs in one call: each job in a process of its own, the worst
// status of them all, and Ctrl-C that cancels the batch.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "cli/cli_support.h"

namespace {

TEST(BatchTest, OneFailingJobFailsTheBatchAndTheOthersFinish) {
    CliFolder folder;
    folder.Add("more.tp", folder.Text("good.tp"));
    const CliResult r = folder.Run("run -j 2 --json report.json good.tp gone.tp more.tp");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("gone.tp: failed"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("3 jobs: 2 finished, 1 failed, 0 cancelled"), std::string::npos) << r.err;
    EXPECT_EQ(folder.NewNames(), "good.ts more.ts report.json");
    EXPECT_EQ(folder.StreamProblems("good.ts"), "");
    EXPECT_EQ(folder.StreamProblems("more.ts"), "");
    // One object per job, in the order the jobs ended.
    const std::string results = JsonResults(folder.dir / "report.json");
    EXPECT_EQ(results.size(), std::string("finished failed finished").size()) << results;
    EXPECT_NE(results.find("failed"), std::string::npos) << results;
    EXPECT_TRUE(folder.TmpIsEmpty());
}

// The third job's stream goes to a named pipe that nobody reads, so the job
// waits there until Ctrl-C; the fourth never starts. A cancelled batch exits
// as cancelled even though a job of it failed.
TEST(BatchTest, CtrlCCancelsTheRunningJobAndStartsNoOther) {
    CliFolder folder;
    folder.Add("waits.tp", folder.Text("good.tp"));
    folder.Add("later.tp", folder.Text("good.tp"));
    ASSERT_EQ(mkfifo((folder.dir / "waits.ts").c_str(), 0644), 0);
    Spawned command(folder, {"run", "-j", "1", "--json", "report.json", "good.tp", "gone.tp",
                             "waits.tp", "later.tp"});
    ASSERT_TRUE(command.WaitFor("waiting for a reader of waits.ts", 60));
    command.Interrupt();
    std::string err;
    EXPECT_EQ(command.Wait(&err), 2) << err;
    EXPECT_NE(err.find("waits.tp: cancelled"), std::string::npos) << err;
    EXPECT_NE(err.find("4 jobs: 1 finished, 1 failed, 2 cancelled"), std::string::npos) << err;
    EXPECT_EQ(JsonResults(folder.dir / "report.json"), "finished failed cancelled not started");
    EXPECT_EQ(folder.NewNames(), "good.ts report.json stdout.txt waits.ts");
    struct stat st;
    ASSERT_EQ(stat((folder.dir / "waits.ts").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(folder.TmpIsEmpty());
}

// One job alone is cancelled the same way, and says so.
TEST(BatchTest, CtrlCCancelsASingleJob) {
    CliFolder folder;
    ASSERT_EQ(mkfifo((folder.dir / "pipe.fifo").c_str(), 0644), 0);
    Spawned command(folder, {"run", "good.tp", "--stream", "pipe.fifo"});
    ASSERT_TRUE(command.WaitFor("waiting for a reader of pipe.fifo", 60));
    command.Interrupt();
    std::string err;
    EXPECT_EQ(command.Wait(&err), 2) << err;
    EXPECT_NE(err.find("pictor: cancelled"), std::string::npos) << err;
    EXPECT_EQ(folder.NewNames(), "pipe.fifo stdout.txt");
    EXPECT_TRUE(folder.TmpIsEmpty());
}

}  // namespace
