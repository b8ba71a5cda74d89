// Jobs side by side with cancels: eight threads each take fifteen Pictor jobs, some cancelled by
// their caller while they wait at the gate or run, others failing at each step, beside four
// threads of PictorForDA jobs. A job that
// is not cancelled gives the result, error text and stream it gives alone; a cancelled one ends
// as cancelled. The ThreadSanitizer build runs this test: every job's state is process-wide, so
// any job that touches it outside the gate shows there.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "api/api_jobs.h"
#include "pictor/pictor.h"

namespace {

// None of these jobs carries a value into the next: each gives the same alone or after others.
struct SideJob {
    std::string name, text;
    int32_t cancel;        // the cancel word a Pictor job starts with
    int32_t extended = 0;  // the extended rule
};

std::vector<SideJob> Jobs() {
    return {
        {"a.tp", JobText("p96.tif", 200000, kNtsc), 0},
        {"b.tp", JobText("p176.tif", 300000, kPal), 0},
        {"c.tp", JobText("gone.tif", 200000, kNtsc), 0},
        {"d.tp", JobText("n176.tif", 160000, kPal), 0},
        {"e.tp", JobText("p96.tif", 1800000, kNtsc), 0},
        {"f.tp", JobText("p176.tif", 100000, kPal), 1},
        {"g.tp", JobText("p96.tif", 160000, kPal), 0},
        {"h.tp", JobText("n176.tif", 600000, kPal), 0},
        {"i.tp", JobText("p96.tif", 400000, kNtsc), 0},
        {"j.tp", JobText("p176.tif", 900000, kPal), 0},
        // Failing at each step: an empty job file, a file that is not TIFF, a strip past the end
        // of the file, a path too long.
        {"k.tp", "", 0},
        {"l.tp", JobText("text.tif", 200000, kNtsc), 0},
        {"m.tp", JobText("cut.tif", 200000, kNtsc), 0},
        {std::string(250, 'n') + ".tp", JobText("p96.tif", 200000, kNtsc), 0},
        // The extended rule on noise too costly for the finest matrix, which carries nothing.
        {"o.tp", JobText("n7.tif", 160000, kPal), 0, 1},
    };
}

void Prepare(const std::string& dir, const std::vector<SideJob>& jobs) {
    std::filesystem::create_directories(dir);
    WriteStillPicture(dir, "p96.tif", 96, 64);
    WriteStillPicture(dir, "p176.tif", 176, 144);
    WriteNoisePicture(dir, "n176.tif", 176, 144, 11);
    WriteNoisePicture(dir, "n7.tif", 176, 144, 7);
    WriteFailingPictures(dir);
    for (const SideJob& job : jobs) WriteFileText(dir + "/" + job.name, job.text);
}

struct Ran {
    JobOutcome out;
    std::vector<uint8_t> stream;
};

std::string StreamOf(const std::string& dir, const SideJob& job) {
    return dir + "/" + job.name.substr(0, job.name.size() - 3) + ".ts";
}

Ran TakeStream(const std::string& dir, const SideJob& job, const JobOutcome& out) {
    const std::string stream = StreamOf(dir, job);
    Ran ran{out, FileExists(stream) ? ReadFileBytes(stream) : std::vector<uint8_t>{}};
    std::remove(stream.c_str());
    return ran;
}

// A Pictor job whose caller, `delay` into it, asks it to stop unless it has ended.
Ran RunCancelledAfter(const std::string& dir, const SideJob& job, std::chrono::microseconds delay) {
    JobOptions options;
    options.cancel = job.cancel;
    options.extendedAnalysis = job.extended;
    const JobWatch cancelLater = [delay](JobContext& context, std::future<void>& end) {
        if (end.wait_for(delay) != std::future_status::ready)
            __atomic_store_n(&context.cancel, 1, __ATOMIC_RELAXED);
    };
    const bool watched = delay.count() > 0;
    return TakeStream(dir, job, RunPictor(dir, job.name, options, watched ? cancelLater : nullptr));
}

class JobsSideBySide : public LibraryTest {};

TEST_F(JobsSideBySide, WithCancelsEachGivesWhatItGivesAloneOrEndsCancelled) {
    const std::vector<SideJob> jobs = Jobs();
    const std::string aloneDir = dir_ / "alone";
    Prepare(aloneDir, jobs);
    std::vector<Ran> alone;
    for (const SideJob& job : jobs)
        alone.push_back(TakeStream(aloneDir, job, RunPictor(aloneDir, job.name, {job.extended})));

    constexpr int kPictorThreads = 8, kForDAThreads = 4;
    const size_t perThread = jobs.size();
    std::vector<std::vector<Ran>> ran(kPictorThreads + kForDAThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kPictorThreads + kForDAThreads; ++t) {
        const std::string dir = dir_ / std::to_string(t);
        Prepare(dir, jobs);
        threads.emplace_back([&, t, dir] {
            for (size_t i = 0; i < perThread; ++i) {
                const SideJob& job = jobs[(t + i) % jobs.size()];
                if (t >= kPictorThreads) {
                    JobOutcome out;
                    out.result = PictorForDA(dir.c_str(), job.name.c_str(), "", job.extended);
                    ran[t].push_back(TakeStream(dir, job, out));
                    continue;
                }
                // Every third job is cancelled 0.2 to 2 ms into its call.
                const auto delay = std::chrono::microseconds{(t + i) % 3 == 0 ? 200 * (1 + i) : 0};
                ran[t].push_back(RunCancelledAfter(dir, job, delay));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (int t = 0; t < kPictorThreads + kForDAThreads; ++t) {
        const std::string dir = dir_ / std::to_string(t);
        for (size_t i = 0; i < perThread; ++i) {
            const size_t k = (t + i) % jobs.size();
            const Ran &got = ran[t][i], &want = alone[k];
            SCOPED_TRACE("thread " + std::to_string(t) + ", " + jobs[k].name);
            if (t < kPictorThreads && jobs[k].cancel == 1) {
                EXPECT_EQ(got.out.result, PICTOR_CANCELLED);
            }
            if (t < kPictorThreads && got.out.result == PICTOR_CANCELLED) {
                EXPECT_EQ(got.out.status, PICTOR_CANCELLED);
                EXPECT_EQ(got.out.progress, 100);
                continue;
            }
            EXPECT_EQ(got.out.result, want.out.result);
            EXPECT_TRUE(got.stream == want.stream);
            if (t >= kPictorThreads) continue;
            EXPECT_EQ(got.out.status, want.out.status);
            EXPECT_EQ(Replaced(got.out.errorText, dir, aloneDir), want.out.errorText);
        }
    }
    ExpectReleased();
}

}  // namespace
