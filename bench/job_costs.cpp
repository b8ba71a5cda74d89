// What a job costs a long-lived process: 200 jobs of the example picture's TIFF bytes on one
// encoder instance, simple and extended rule at 1,200,000 bits, after one job to warm it.
// Counters: page faults per job (ru_minflt); the process's CPU time per job and over the wall
// time (the helper thread's included; on a busy machine the wall time counts waits for a core,
// so compare CPU per job with PICTOR_THREADS=1); the blocks the instance keeps between jobs, the
// resident memory it added over the run and the process's peak. Run each rule in a process of
// its own (--benchmark_filter) for the peak.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "api/instance.h"
#include "pictor/pictor.h"
#include "support/files.h"

namespace {

constexpr int kJobs = 200;

const std::vector<uint8_t>& ExampleTiff() {
    static const std::vector<uint8_t> bytes =
        ReadFileBytes(PICTOR_SOURCE_DIR "/examples/still/astronaut.tif");
    return bytes;
}

double Seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double ResidentMegabytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

bool OneJob(PictorEncoder* encoder, const PictorSettings& settings,
            std::vector<unsigned char>* out) {
    const std::vector<uint8_t>& tiff = ExampleTiff();
    PictorStream stream{out->data(), out->size(), 0, nullptr, nullptr};
    return PictorResetCarried(encoder) == 0 &&
           PictorEncodeTiff(encoder, &settings, tiff.data(), tiff.size(), &stream, nullptr) == 0;
}

void BM_JobCosts(benchmark::State& state) {
    if (ExampleTiff().empty()) return state.SkipWithError("no example picture");
    const double residentBefore = ResidentMegabytes();
    PictorEncoder* encoder = PictorCreate();
    PictorSettings settings;
    PictorDefaultSettings(&settings);
    settings.extendedAnalysis = static_cast<int32_t>(state.range(0));
    std::vector<unsigned char> out(225000);
    if (!OneJob(encoder, settings, &out)) state.SkipWithError("job failed");
    long faults = 0;
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const long faultsBefore = MinorFaults();
        const double cpuBefore = Seconds(CLOCK_PROCESS_CPUTIME_ID);
        const double wallBefore = Seconds(CLOCK_MONOTONIC);
        for (int i = 0; i < kJobs; ++i)
            if (!OneJob(encoder, settings, &out)) state.SkipWithError("job failed");
        wall += Seconds(CLOCK_MONOTONIC) - wallBefore;
        cpu += Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore;
        faults += MinorFaults() - faultsBefore;
    }
    const double jobs = static_cast<double>(state.iterations()) * kJobs;
    state.counters["faults_per_job"] = static_cast<double>(faults) / jobs;
    state.counters["cpu_per_wall"] = wall > 0 ? cpu / wall : 0;
    state.counters["ms_per_job"] = wall * 1000 / jobs;
    state.counters["cpu_ms_per_job"] = cpu * 1000 / jobs;
    state.counters["kept_blocks_mb"] =
        static_cast<double>(KeptBlockBytes(encoder->allocRegistry)) / 1048576.0;
    state.counters["added_rss_mb"] = ResidentMegabytes() - residentBefore;
    state.counters["peak_rss_mb"] = PeakMegabytes();
    if (PictorDestroy(encoder) != 0) state.SkipWithError("instance busy at its end");
    state.SetLabel(state.range(0) != 0 ? "extended" : "simple");
}
BENCHMARK(BM_JobCosts)
    ->ArgName("extended")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
