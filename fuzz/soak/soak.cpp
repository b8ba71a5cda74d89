// Runs many mixed jobs in one process: finished ones (every picture size, both analysis rules,
// every switch and level mode, pan-scan), failing ones (bad job files, bad pictures), cancelled
// ones (cancel set when the job reaches a chosen progress) and PictorForDA jobs. Every job is
// checked as the fuzz targets check it (nothing left open or allocated, a whole stream within
// the size limit). Resident memory and open descriptors are sampled every N jobs; after the
// warm-up neither may grow by more than the margins below, or the program exits with 1.
//
//   pictor_soak [JOBS] [--every N] [--seed S]      (defaults: 10000 jobs, every 500, seed 1)
//
// Measure in a release build: a sanitizer's quarantine makes resident memory wander.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "guarded_job.h"

namespace {

// Growth allowed after the warm-up: resident memory in kilobytes, descriptors none at all.
constexpr long kMemoryMarginKb = 4096;
constexpr int kDescriptorMargin = 0;

struct Picture {
    const char* name;
    int width;
    int height;
    bool noise;
};

// Small ones mostly; each full frame now and then.
const Picture kPictures[] = {
    {"p96x64.tif", 96, 64, false},     {"n96x64.tif", 96, 64, true},
    {"p96x80.tif", 96, 80, false},     {"p176x144.tif", 176, 144, false},
    {"n176x112.tif", 176, 112, true},  {"p352x240.tif", 352, 240, false},
    {"n352x288.tif", 352, 288, true},  {"p704x480.tif", 704, 480, false},
    {"p720x480.tif", 720, 480, false}, {"n720x576.tif", 720, 576, true},
    {"p704x576.tif", 704, 576, false},
};
const int kPictureWeights[] = {20, 10, 8, 10, 8, 6, 4, 2, 2, 1, 2};

bool NtscHeight(int h) { return h == 64 || h == 112 || h == 240 || h == 480; }
bool FullFrame(const Picture& p) { return p.width >= 704 && p.height >= 480; }

std::vector<uint8_t> PictureRgb(const Picture& p) {
    return p.noise ? NoiseRgb(p.width, p.height, 2463534242u) : TestPatternRgb(p.width, p.height);
}

// Resident set size in kilobytes.
long ResidentKilobytes() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return -1;
    long size = 0;
    long resident = 0;
    int n = std::fscanf(f, "%ld %ld", &size, &resident);
    std::fclose(f);
    if (n != 2) return -1;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

enum class Kind { kGood, kFailing, kCancelled, kForDA };

struct Tally {
    long finished = 0;
    long failed = 0;
    long cancelled = 0;
};

class Soak {
public:
    explicit Soak(unsigned seed) : random_(seed), dir_(fuzz::ScratchDir()) {}

    void WritePictures() {
        for (const Picture& p : kPictures) {
            std::vector<uint8_t> tiff = MakeRgbTiff(p.width, p.height, PictureRgb(p));
            WriteFileBytes(dir_ + "/still/" + p.name, tiff);
            if (std::strcmp(p.name, "p96x64.tif") == 0) {
                // The same picture cut inside its strip, and a directory that points nowhere.
                WriteFileBytes(dir_ + "/still/cut.tif",
                               {tiff.begin(), tiff.begin() + tiff.size() / 2});
                tiff[4] = tiff[5] = tiff[6] = tiff[7] = 0xFF;
                WriteFileBytes(dir_ + "/still/lost.tif", tiff);
            }
        }
        WriteFileText(dir_ + "/still/text.tif", "not a picture\n");
    }

    // Job number `n` (from 0). The first jobs sweep every picture under both rules.
    void RunOne(long n) {
        Kind kind;
        const Picture* picture;
        std::uniform_int_distribution<int> percent(0, 99);
        if (n < 2 * static_cast<long>(std::size(kPictures))) {
            kind = Kind::kGood;
            picture = &kPictures[n / 2];
        } else {
            int k = percent(random_);
            kind = k < 55   ? Kind::kGood
                   : k < 75 ? Kind::kFailing
                   : k < 95 ? Kind::kCancelled
                            : Kind::kForDA;
            std::discrete_distribution<int> pick(std::begin(kPictureWeights),
                                                 std::end(kPictureWeights));
            picture = &kPictures[pick(random_)];
        }
        JobOptions options;
        options.extendedAnalysis = n < 22 ? static_cast<int>(n % 2) : percent(random_) % 2;
        options.progressiveStill = percent(random_) % 3;  // 2 acts as 0
        options.levelMode = percent(random_) % 4;         // 3 acts as 0
        std::string job =
            kind == Kind::kFailing ? BadJob(*picture, options) : GoodJob(*picture, options);
        WriteFileText(dir_ + "/job.tp", job);

        int cancelAt = -1;
        if (kind == Kind::kCancelled) {
            static const int kPoints[] = {0, 10, 70, 80, 90};
            cancelAt = kPoints[percent(random_) % 5];
        }
        const long descriptors = OpenDescriptors();
        const std::string stream = dir_ + (kind == Kind::kForDA ? "/da.m2v" : "/job.ts");
        std::remove(stream.c_str());
        JobOutcome result;
        if (kind == Kind::kForDA) {
            // The context PictorForDA keeps is left running; its result is all there is.
            result = RunEntry(Entry::kForDAPath, dir_, "job.tp", "da.m2v", options);
            result.status = result.result;
            result.progress = 100;
        } else {
            result = RunCancelling(options, cancelAt);
        }
        fuzz::CheckJobEnd(result, stream, descriptors);
        if (kind == Kind::kGood || kind == Kind::kForDA) Expect(result, PICTOR_FINISHED, job);
        if (kind == Kind::kFailing) Expect(result, PICTOR_FAILED, job);
        if (result.result == PICTOR_FINISHED) ++tally.finished;
        if (result.result == PICTOR_FAILED) ++tally.failed;
        if (result.result == PICTOR_CANCELLED) ++tally.cancelled;
    }

    Tally tally;

private:
    std::string GoodJob(const Picture& p, const JobOptions& options) {
        bool wide = FullFrame(p) && percent50();
        bool panScan = wide && percent50();
        std::uniform_int_distribution<int> target(options.progressiveStill == 1 ? 20000 : 100000,
                                                  2000000);
        std::uniform_int_distribution<int> vector(-2000, 2000);
        std::string job = std::string("SOURCE_FILE ") + p.name + "\n";
        job += "TARGET_SIZE " + std::to_string(target(random_)) + "\n";
        job += NtscHeight(p.height) ? "FRMRT NTSC\n" : "FRMRT PAL\n";
        job += wide ? (percent50() ? "ASPECT_RATIO 16:9\n" : "ASPECT_RATIO 9:16\n")
                    : (percent50() ? "ASPECT_RATIO 4:3\n" : "ASPECT_RATIO 3:4\n");
        job += panScan ? "PAN_SCAN ON\n" : "PAN_SCAN OFF\n";
        if (panScan) job += "PAN_SCAN_VECTOR " + std::to_string(vector(random_)) + "\n";
        return job;
    }

    // A job that must fail: a mistake in the job file, or a picture that cannot be used.
    std::string BadJob(const Picture& p, const JobOptions& options) {
        std::string good = GoodJob(p, options);
        std::uniform_int_distribution<int> which(0, 7);
        switch (which(random_)) {
            case 0:
                return "";
            case 1:
                return Replace(good, "FRMRT", "FRMRT pal\nFRMRT");
            case 2:
                return Replace(good, p.name, "missing.tif");
            case 3:
                return Replace(good, p.name, "text.tif");
            case 4:
                return Replace(good, p.name, "cut.tif");
            case 5:
                return Replace(good, p.name, "lost.tif");
            case 6:
                return Replace(good, NtscHeight(p.height) ? "NTSC" : "PAL",
                               NtscHeight(p.height) ? "PAL" : "NTSC");
            default:
                return Replace(good, "PAN_SCAN O", "PAN_SCAN xO");
        }
    }

    // Pictor with a second thread that sets cancel once the job reaches `cancelAt` percent
    // (0: before it starts); -1 runs the job undisturbed.
    JobOutcome RunCancelling(JobOptions options, int cancelAt) {
        options.cancel = cancelAt == 0 ? 1 : 0;
        if (cancelAt <= 0) return RunPictor(dir_, "job.tp", options);
        auto canceller = [cancelAt](JobContext& context, std::future<void>& end) {
            while (end.wait_for(std::chrono::microseconds(200)) != std::future_status::ready) {
                if (__atomic_load_n(&context.progress, __ATOMIC_RELAXED) >= cancelAt) {
                    __atomic_store_n(&context.cancel, 1, __ATOMIC_RELAXED);
                    return;
                }
            }
        };
        return RunPictor(dir_, "job.tp", options, canceller);
    }

    static std::string Replace(std::string text, const std::string& from, const std::string& to) {
        size_t at = text.find(from);
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    }

    static void Expect(const JobOutcome& job, int expected, const std::string& jobText) {
        if (job.result == expected) return;
        fuzz::Fail("unexpected result", "result " + std::to_string(job.result) + ", expected " +
                                            std::to_string(expected) + "\n" + jobText +
                                            job.errorText);
    }

    bool percent50() { return std::uniform_int_distribution<int>(0, 1)(random_) == 1; }

    std::mt19937 random_;
    std::string dir_;
};

}  // namespace

int main(int argc, char** argv) {
    long jobs = 10000;
    long every = 500;
    unsigned seed = 1;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--every" && i + 1 < argc) {
            every = std::atol(argv[++i]);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = static_cast<unsigned>(std::atol(argv[++i]));
        } else if (!arg.empty() && arg[0] != '-') {
            jobs = std::atol(arg.c_str());
        } else {
            std::fprintf(stderr, "usage: %s [JOBS] [--every N] [--seed S]\n", argv[0]);
            return 64;
        }
    }
    if (jobs < 1 || every < 1) return 64;
    // The first sample after a tenth of the jobs (at least one interval) closes the warm-up.
    long warmUp = std::max(every, (jobs / 10 + every - 1) / every * every);

    // The final coding pass's warnings would fill the terminal; the table goes to stderr.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
    Soak soak(seed);
    soak.WritePictures();
    std::fprintf(stderr, "%d jobs, sampled every %ld; warm-up %ld jobs; margins %ld kB, %d fds\n",
                 static_cast<int>(jobs), every, warmUp, kMemoryMarginKb, kDescriptorMargin);
    std::fprintf(stderr, "%8s %10s %5s %9s %7s %9s %8s\n", "jobs", "rss_kB", "fds", "finished",
                 "failed", "cancelled", "seconds");
    auto start = std::chrono::steady_clock::now();
    long baseRss = -1;
    int baseFds = -1;
    long worstRss = 0;
    int worstFds = 0;
    for (long n = 0; n < jobs; ++n) {
        soak.RunOne(n);
        long done = n + 1;
        if (done % every != 0 && done != jobs) continue;
        long rss = ResidentKilobytes();
        int fds = static_cast<int>(OpenDescriptors());
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "%8ld %10ld %5d %9ld %7ld %9ld %8.1f\n", done, rss, fds,
                     soak.tally.finished, soak.tally.failed, soak.tally.cancelled, seconds);
        if (done == warmUp) {
            baseRss = rss;
            baseFds = fds;
        } else if (done > warmUp) {
            worstRss = std::max(worstRss, rss - baseRss);
            worstFds = std::max(worstFds, fds - baseFds);
        }
    }
    if (baseRss < 0) {
        std::fprintf(stderr, "too few jobs to pass the warm-up\n");
        return 1;
    }
    std::fprintf(stderr, "growth after warm-up: %ld kB (margin %ld), %d fds (margin %d)\n",
                 worstRss, kMemoryMarginKb, worstFds, kDescriptorMargin);
    bool flat = worstRss <= kMemoryMarginKb && worstFds <= kDescriptorMargin;
    std::fprintf(stderr, "%s\n", flat ? "flat" : "GROWING");
    return flat ? 0 : 1;
}
