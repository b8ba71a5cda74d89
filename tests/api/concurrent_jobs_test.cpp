// Callers on several threads of one process: the entry points take one job at a time, so every
// job gives what it gives alone, whichever thread runs it and whatever runs beside it. A Pictor
// job that waits shows itself as running with nothing done, and its caller may cancel it there.
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "api/api_jobs.h"
#include "api/job_gate.h"
#include "control/threshold_search.h"
#include "pictor/pictor.h"

namespace {

// One kind of job the threads take in turn. PictorForDA keeps its error text to itself, so only
// Pictor jobs are held to theirs.
struct JobKind {
    const char* name;
    bool forDA;
    std::string text;  // the job file
    int32_t extended;
    int result;
};

std::vector<JobKind> Kinds() {
    // Noise too costly for the finest matrix: the search never lowers its estimate quantiser,
    // so no job hands anything on to the next.
    return {{"Pattern96", false, JobText("p96.tif", 200000, kNtsc), 0, 0},
            {"ForDA176", true, JobText("p176.tif", 300000, kPal), 0, 0},
            {"ExtendedNoise", false, JobText("n176.tif", 160000, kPal), 1, 0},
            {"NoTarget", false, "SOURCE_FILE p96.tif\n" + kNtsc, 0, -1}};
}

struct Ran {
    int result = -99;
    std::string errorText;  // Pictor jobs only
    std::vector<uint8_t> stream;
};

// The job of `kind` in job file stem + ".tp"; safe on any thread.
Ran RunKind(const std::string& dir, const JobKind& kind, const std::string& stem) {
    Ran ran;
    WriteFileText(dir + "/" + stem + ".tp", kind.text);
    if (kind.forDA) {
        ran.result = PictorForDA(dir.c_str(), (stem + ".tp").c_str(), "", kind.extended);
    } else {
        const JobOutcome outcome = RunPictor(dir, stem + ".tp", {kind.extended});
        ran.result = outcome.result;
        ran.errorText = outcome.errorText;
    }
    ran.stream = ReadFileBytes(dir + "/" + stem + ".ts");
    return ran;
}

class ConcurrentJobs : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        WriteStillPicture(dir_.path, "p96.tif", 96, 64);
        WriteStillPicture(dir_.path, "p176.tif", 176, 144);
        WriteNoisePicture(dir_.path, "n176.tif", 176, 144, 7);
    }
};

// Each thread takes every kind twice, each time beside other kinds on the other threads.
constexpr int kThreads = 8;
constexpr int kJobsPerThread = 20;

TEST_F(ConcurrentJobs, EightThreadsGiveWhatEachJobGivesAlone) {
    const std::vector<JobKind> kinds = Kinds();
    std::vector<Ran> alone;
    for (size_t k = 0; k < kinds.size(); ++k) {
        alone.push_back(RunKind(dir_.path, kinds[k], "alone" + std::to_string(k)));
        ASSERT_EQ(alone.back().result, kinds[k].result) << kinds[k].name;
        ASSERT_EQ(alone.back().stream.empty(), kinds[k].result != 0) << kinds[k].name;
    }
    auto stem = [](int t, int i) { return "t" + std::to_string(t) + "j" + std::to_string(i); };
    std::vector<std::vector<Ran>> ran(kThreads, std::vector<Ran>(kJobsPerThread));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kJobsPerThread; ++i)
                ran[t][i] = RunKind(dir_.path, kinds[(t + i) % kinds.size()], stem(t, i));
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kJobsPerThread; ++i) {
            const size_t k = (t + i) % kinds.size();
            SCOPED_TRACE(stem(t, i) + " " + kinds[k].name);
            EXPECT_EQ(ran[t][i].result, alone[k].result);
            EXPECT_TRUE(ran[t][i].stream == alone[k].stream);
            EXPECT_EQ(ran[t][i].errorText,
                      kinds[k].result == 0
                          ? ""
                          : ErrorLine(41, "TARGET_SIZE is not specified <" + stem(t, i) + ".tp>"));
        }
    }
    EXPECT_EQ(gCarriedSearch.lastEstimateQ, 0);
    ExpectReleased();
}

// A Pictor job on another thread while this one holds the gate, as a running job does.
struct WaitingJob {
    WaitingJob(const std::string& dir, const char* jobFileName) {
        std::memset(context.get(), 0, sizeof(JobContext));
        std::memset(errorText, 'x', sizeof errorText);
        context->errorText = errorText;
        std::snprintf(context->workDir, sizeof context->workDir, "%s", dir.c_str());
        std::snprintf(context->jobFileName, sizeof context->jobFileName, "%s", jobFileName);
        std::snprintf(context->streamPath, sizeof context->streamPath, "left over");
        thread = std::thread([this] { result.store(Pictor(context.get())); });
        // Status 2 is set before the job waits.
        while (__atomic_load_n(&context->status, __ATOMIC_RELAXED) != PICTOR_RUNNING)
            std::this_thread::yield();
    }
    int32_t Progress() const { return __atomic_load_n(&context->progress, __ATOMIC_RELAXED); }
    std::unique_ptr<JobContext> context = std::make_unique<JobContext>();
    char errorText[1024];
    std::atomic<int> result{-99};
    std::thread thread;
};

// Two jobs wait at the gate: the one cancelled there ends without starting, the other runs once
// the gate is free, as does a PictorForDA job waiting beside them.
TEST_F(ConcurrentJobs, WaitingJobsRunOrEndCancelledOnceTheGateIsFree) {
    WriteFileText(dir_ / "w.tp", JobText("p96.tif", 200000, kNtsc));
    WriteFileText(dir_ / "c.tp", JobText("p96.tif", 200000, kNtsc));
    WriteFileText(dir_ / "v.tp", JobText("p96.tif", 200000, kNtsc));
    ASSERT_EQ(RunPictor(dir_.path, "w.tp").result, PICTOR_FINISHED);
    const std::vector<uint8_t> alone = ReadFileBytes(dir_ / "w.ts");
    std::remove((dir_ / "w.ts").c_str());

    ASSERT_TRUE(EnterJobGate(nullptr));
    WaitingJob running(dir_.path, "w.tp"), cancelled(dir_.path, "c.tp");
    std::atomic<int> forDA{-99};
    std::thread third([&] { forDA.store(PictorForDA(dir_.path.c_str(), "v.tp", "", 0)); });
    for (WaitingJob* job : {&running, &cancelled}) {
        EXPECT_EQ(job->Progress(), 0);
        EXPECT_STREQ(job->errorText, "");
        EXPECT_EQ(job->result.load(), -99);  // the gate is held: the job cannot have ended
    }
    __atomic_store_n(&cancelled.context->cancel, 1, __ATOMIC_RELAXED);
    cancelled.thread.join();  // a cancelled job leaves the queue without the gate
    EXPECT_EQ(running.result.load(), -99);
    LeaveJobGate();
    running.thread.join();
    third.join();
    for (WaitingJob* job : {&running, &cancelled}) {
        EXPECT_EQ(job->context->status, job->result.load());
        EXPECT_EQ(job->Progress(), 100);
        EXPECT_STREQ(job->errorText, "");
    }
    EXPECT_EQ(cancelled.result.load(), PICTOR_CANCELLED);
    EXPECT_EQ(cancelled.context->streamPath[0], '\0');
    EXPECT_FALSE(FileExists(dir_ / "c.ts"));
    EXPECT_EQ(cancelled.context->cancel, 1);  // the library never writes it
    EXPECT_EQ(running.result.load(), PICTOR_FINISHED);
    EXPECT_EQ(forDA.load(), PICTOR_FINISHED);
    EXPECT_TRUE(ReadFileBytes(dir_ / "w.ts") == alone);
    EXPECT_TRUE(ReadFileBytes(dir_ / "v.ts") == alone);
    ExpectReleased();
}

}  // namespace
