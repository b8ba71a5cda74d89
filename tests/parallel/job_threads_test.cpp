// The job's threads: every chunk of a stage runs once, whichever thread takes it, and the helper
// ends when asked; the stages that split their work give the same results either way (the
// end-to-end table runs with one thread and with two).
#include <gtest/gtest.h>

#include <time.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include "api/api_jobs.h"
#include "parallel/job_threads.h"
#include "support/state.h"

namespace {

TEST(JobThreads, EveryChunkOnceThenTheHelperEnds) {
    ResetAllState();
    EXPECT_TRUE(JobThreads() == 1 || JobThreads() == 2);
    for (int round = 0; round < 3; ++round) {
        for (int32_t chunks : {0, 1, 2, 7, 64}) {
            std::vector<std::atomic<int>> runs(static_cast<size_t>(chunks));
            for (auto& r : runs) r.store(0);
            std::vector<int64_t> sums(static_cast<size_t>(chunks), 0);
            auto work = [&](int32_t chunk) {
                runs[static_cast<size_t>(chunk)].fetch_add(1);
                for (int64_t i = 0; i < 10000; ++i) sums[static_cast<size_t>(chunk)] += i * chunk;
            };
            RunChunks(chunks, work);
            for (int32_t c = 0; c < chunks; ++c) {
                EXPECT_EQ(runs[static_cast<size_t>(c)].load(), 1) << chunks << " " << c;
                EXPECT_EQ(sums[static_cast<size_t>(c)], int64_t{49995000} * c);
            }
        }
        // Ended at will, and ending twice is harmless; the next split starts a new helper.
        EndJobThreads();
        EndJobThreads();
    }
}

// The threads that ran a two-chunk task: with `helper`, chunk 0 waits (for at most about ten
// seconds) until another thread has started chunk 1, so the helper takes one.
std::vector<std::thread::id> ThreadsOfOneTask(bool helper = true) {
    std::atomic<bool> secondStarted{false};
    std::thread::id ran[2];
    auto work = [&](int32_t chunk) {
        ran[chunk] = std::this_thread::get_id();
        if (chunk == 1) secondStarted.store(true);
        for (int i = 0; chunk == 0 && helper && !secondStarted.load() && i < 10000; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    RunChunks(2, work);
    return {ran[0], ran[1]};
}

// A child forked while the parent's helper runs has no helper of its own: its splits still do
// every chunk, and ending its threads joins nothing of the parent's. The helper is past its
// start-up when the process forks: a fork in the middle of a thread's start-up can leave the
// sanitizers' thread lock held in the child.
TEST(JobThreads, ForkedChildStartsWithoutTheParentsHelper) {
    ResetAllState();
    ThreadsOfOneTask(JobThreads() == 2);
    InChild([] {
        int32_t childSum = 0;
        auto childAdd = [&](int32_t chunk) {
            __atomic_fetch_add(&childSum, chunk, __ATOMIC_RELAXED);
        };
        RunChunks(16, childAdd);
        EndJobThreads();
        if (childSum != 120) _exit(1);
    });
    EndJobThreads();
}

std::thread::id HelperOf(const std::vector<std::thread::id>& ran) {
    return ran[0] != std::this_thread::get_id() ? ran[0] : ran[1];
}

#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// One helper serves task after task of its record until the record's end and costs no processor
// time between them, also once a stage that kept it awake has ended; a retired record's splits
// run on the calling thread alone.
TEST(JobThreads, OneHelperPerRecordAsleepBetweenTasks) {
    if (JobThreads() < 2) GTEST_SKIP() << "one job thread";
    JobThreadsRecord* const bound = tJobThreads;
    JobThreadsRecord record{nullptr, [](void*) {}, nullptr, false};
    tJobThreads = &record;
    const std::thread::id helper = HelperOf(ThreadsOfOneTask());
    EXPECT_NE(helper, std::this_thread::get_id());
    auto expectIdle = [] {
        // (The thread sanitizer's own thread works while the test sleeps.)
        if (kThreadSanitizer) return;
        const double before = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_LT(ProcessCpuSeconds() - before, 0.05) << "the idle helper used the processor";
    };
    expectIdle();
    for (int task = 0; task < 3; ++task) EXPECT_EQ(HelperOf(ThreadsOfOneTask()), helper);
    {
        const KeptAwake awake;
        for (int task = 0; task < 3; ++task) EXPECT_EQ(HelperOf(ThreadsOfOneTask()), helper);
    }
    expectIdle();
    RetireJobThreads(&record);
    for (int task = 0; task < 3; ++task) {
        const std::vector<std::thread::id> ran = ThreadsOfOneTask(false);
        EXPECT_EQ(ran[0], std::this_thread::get_id());
        EXPECT_EQ(ran[1], std::this_thread::get_id());
    }
    DestroyJobThreads(&record);
    EXPECT_EQ(record.helper, nullptr);
    tJobThreads = bound;
}

}  // namespace
