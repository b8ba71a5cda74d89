// Callers on several threads of one process: the entry points take one job at a time, so every
// job gives what it gives alone, whichever thread runs it and whatever runs beside it. A Pictor
// job that waits shows itself as running with nothing done, and its caller may cancel it there.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "api/job_gate.h"
#include "api/registry.h"
#include "control/threshold_search.h"
#include "pictor/pictor.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/state.h"

namespace {

const std::string kNtsc = "FRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
const std::string kPal = "FRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";

// One kind of job the threads take in turn. PictorForDA keeps its error text to itself, so only
// Pictor jobs are held to theirs.
struct JobKind {
    const char* name;
    Entry entry;
    std::string text;  // the job file
    JobOptions options;
    int result;
};

std::vector<JobKind> Kinds() {
    return {
        {"Pattern96", Entry::kPictor, "SOURCE_FILE p96.tif\nTARGET_SIZE 200000\n" + kNtsc, {}, 0},
        {"ProgressiveFullRange",
         Entry::kPictor,
         "SOURCE_FILE p96.tif\nTARGET_SIZE 90000\n" + kNtsc,
         {0, 1, 2},
         0},
        {"ForDA176", Entry::kForDA, "SOURCE_FILE p176.tif\nTARGET_SIZE 300000\n" + kPal, {}, 0},
        // Noise too costly for the finest matrix: the search never lowers its estimate
        // quantiser, so no job hands anything on to the next.
        {"ExtendedNoise",
         Entry::kPictor,
         "SOURCE_FILE n176.tif\nTARGET_SIZE 160000\n" + kPal,
         {1},
         0},
        {"ForDAStreamPath",
         Entry::kForDAPath,
         "SOURCE_FILE p96.tif\nTARGET_SIZE 400000\n" + kNtsc,
         {},
         0},
        {"NoTarget", Entry::kPictor, "SOURCE_FILE p96.tif\n" + kNtsc, {}, -1},
    };
}

std::string StreamName(const JobKind& kind, const std::string& stem) {
    return stem + (kind.entry == Entry::kForDAPath ? ".m2v" : ".ts");
}

struct Ran {
    int result = -99;
    std::string errorText;  // Pictor jobs only
    std::vector<uint8_t> stream;
};

// The job of `kind` in job file stem + ".tp"; safe on any thread.
Ran RunKind(const std::string& dir, const JobKind& kind, const std::string& stem) {
    Ran ran;
    const std::string jobName = stem + ".tp";
    WriteFileText(dir + "/" + jobName, kind.text);
    if (kind.entry == Entry::kPictor) {
        const JobOutcome outcome = RunPictor(dir, jobName, kind.options);
        ran.result = outcome.result;
        ran.errorText = outcome.errorText;
    } else if (kind.entry == Entry::kForDA) {
        ran.result = PictorForDA(dir.c_str(), jobName.c_str(), "", kind.options.extendedAnalysis);
    } else {
        ran.result = PictorForDA(dir.c_str(), (dir + "/" + jobName).c_str(),
                                 (dir + "/" + StreamName(kind, stem)).c_str(),
                                 kind.options.extendedAnalysis);
    }
    ran.stream = ReadFileBytes(dir + "/" + StreamName(kind, stem));
    return ran;
}

class ConcurrentJobs : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        WriteStillPicture(dir_.path, "p96.tif", 96, 64);
        WriteStillPicture(dir_.path, "p176.tif", 176, 144);
        WriteNoisePicture(dir_.path, "n176.tif", 176, 144, 7);
        descriptors_ = OpenDescriptors();
    }
    void TearDown() override { ResetAllState(); }
    TempDir dir_;
    long descriptors_ = 0;
};

constexpr int kThreads = 8;
constexpr int kJobsPerThread = 20;

TEST_F(ConcurrentJobs, EightThreadsOfTwentyJobsEachGiveWhatEachJobGivesAlone) {
    const std::vector<JobKind> kinds = Kinds();
    std::vector<Ran> alone;
    for (size_t k = 0; k < kinds.size(); ++k) {
        alone.push_back(RunKind(dir_.path, kinds[k], "alone" + std::to_string(k)));
        ASSERT_EQ(alone.back().result, kinds[k].result) << kinds[k].name;
        ASSERT_EQ(alone.back().stream.empty(), kinds[k].result != 0) << kinds[k].name;
    }
    EXPECT_EQ(alone.back().errorText, ErrorLine(41, "TARGET_SIZE is not specified <alone" +
                                                        std::to_string(kinds.size() - 1) + ".tp>"));

    std::vector<std::vector<Ran>> ran(kThreads, std::vector<Ran>(kJobsPerThread));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kJobsPerThread; ++i) {
                const JobKind& kind = kinds[(t + i) % kinds.size()];
                ran[t][i] =
                    RunKind(dir_.path, kind, "t" + std::to_string(t) + "j" + std::to_string(i));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kJobsPerThread; ++i) {
            const size_t k = (t + i) % kinds.size();
            const std::string stem = "t" + std::to_string(t) + "j" + std::to_string(i);
            SCOPED_TRACE(stem + " " + kinds[k].name);
            EXPECT_EQ(ran[t][i].result, alone[k].result);
            EXPECT_TRUE(ran[t][i].stream == alone[k].stream);
            if (kinds[k].result != 0)
                EXPECT_EQ(ran[t][i].errorText,
                          ErrorLine(41, "TARGET_SIZE is not specified <" + stem + ".tp>"));
            else
                EXPECT_EQ(ran[t][i].errorText, "");
        }
    }
    EXPECT_EQ(gCarriedSearch.lastEstimateQ, 0);
    EXPECT_EQ(TrackedBlocks() + gFileRegistry.count, 0);
    EXPECT_EQ(OpenDescriptors(), descriptors_);
}

// A Pictor job on another thread while this one holds the gate, as a running job does.
struct WaitingJob {
    explicit WaitingJob(const std::string& dir) {
        std::memset(context.get(), 0, sizeof(JobContext));
        std::memset(errorText, 'x', sizeof errorText);
        context->errorText = errorText;
        context->status = -99;
        context->progress = -99;
        std::snprintf(context->workDir, sizeof context->workDir, "%s", dir.c_str());
        std::snprintf(context->jobFileName, sizeof context->jobFileName, "w.tp");
        std::snprintf(context->streamPath, sizeof context->streamPath, "left over");
    }
    void Start() {
        thread = std::thread([this] { result.store(Pictor(context.get())); });
        // Status 2 is set before the job waits.
        while (__atomic_load_n(&context->status, __ATOMIC_RELAXED) != PICTOR_RUNNING)
            std::this_thread::yield();
    }
    int32_t Status() const { return __atomic_load_n(&context->status, __ATOMIC_RELAXED); }
    int32_t Progress() const { return __atomic_load_n(&context->progress, __ATOMIC_RELAXED); }
    std::unique_ptr<JobContext> context = std::make_unique<JobContext>();
    char errorText[1024];
    std::atomic<int> result{-99};
    std::thread thread;
};

class WaitingJobs : public ConcurrentJobs {
protected:
    void SetUp() override {
        ConcurrentJobs::SetUp();
        WriteFileText(dir_ / "w.tp", "SOURCE_FILE p96.tif\nTARGET_SIZE 200000\n" + kNtsc);
    }
};

TEST_F(WaitingJobs, AJobCancelledWhileWaitingEndsWithoutStarting) {
    ASSERT_TRUE(EnterJobGate(nullptr));
    WaitingJob job(dir_.path);
    job.Start();
    EXPECT_EQ(job.Progress(), 0);
    EXPECT_STREQ(job.errorText, "");
    EXPECT_EQ(job.result.load(), -99);  // the gate is held: the job cannot have ended
    __atomic_store_n(&job.context->cancel, 1, __ATOMIC_RELAXED);
    job.thread.join();
    LeaveJobGate();
    EXPECT_EQ(job.result.load(), PICTOR_CANCELLED);
    EXPECT_EQ(job.Status(), PICTOR_CANCELLED);
    EXPECT_EQ(job.Progress(), 100);
    EXPECT_STREQ(job.errorText, "");
    EXPECT_EQ(job.context->streamPath[0], '\0');
    EXPECT_FALSE(FileExists(dir_ / "w.ts"));
    EXPECT_EQ(job.context->cancel, 1);  // the library never writes it
}

TEST_F(WaitingJobs, AWaitingJobRunsOnceTheGateIsFree) {
    const JobOutcome reference = RunPictor(dir_.path, "w.tp");
    ASSERT_EQ(reference.result, PICTOR_FINISHED) << reference.errorText;
    const std::vector<uint8_t> alone = ReadFileBytes(dir_ / "w.ts");
    std::remove((dir_ / "w.ts").c_str());

    ASSERT_TRUE(EnterJobGate(nullptr));
    WaitingJob job(dir_.path);
    job.Start();
    EXPECT_EQ(job.Progress(), 0);
    EXPECT_EQ(job.result.load(), -99);
    EXPECT_FALSE(FileExists(dir_ / "w.ts"));
    std::atomic<int> forDA{-99};
    WriteFileText(dir_ / "v.tp", "SOURCE_FILE p96.tif\nTARGET_SIZE 200000\n" + kNtsc);
    std::thread second([&] { forDA.store(PictorForDA(dir_.path.c_str(), "v.tp", "", 0)); });
    LeaveJobGate();
    job.thread.join();
    second.join();
    EXPECT_EQ(job.result.load(), PICTOR_FINISHED);
    EXPECT_EQ(job.Status(), PICTOR_FINISHED);
    EXPECT_EQ(job.Progress(), 100);
    EXPECT_STREQ(job.errorText, "");
    EXPECT_EQ(forDA.load(), PICTOR_FINISHED);
    EXPECT_TRUE(ReadFileBytes(dir_ / "w.ts") == alone);
    EXPECT_TRUE(ReadFileBytes(dir_ / "v.ts") == alone);
    EXPECT_EQ(TrackedBlocks() + gFileRegistry.count, 0);
}

}  // namespace
