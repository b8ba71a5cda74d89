// Jobs coded from memory on encoder instances, one per benchmark thread: the example picture's
// TIFF bytes at 1,200,000 bits, simple and extended rule. Jobs per second of 1 and 2 threads
// show how instances scale (run with PICTOR_THREADS=1 to leave each job on its own thread);
// `rss_mb` is the process's peak resident memory after the run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "pictor/pictor.h"
#include "support/files.h"

namespace {

const std::vector<uint8_t>& ExampleTiff() {
    static const std::vector<uint8_t> bytes =
        ReadFileBytes(PICTOR_SOURCE_DIR "/examples/still/astronaut.tif");
    return bytes;
}

double PeakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void BM_InstanceJobs(benchmark::State& state) {
    const std::vector<uint8_t>& tiff = ExampleTiff();
    if (tiff.empty()) return state.SkipWithError("no example picture");
    PictorEncoder* encoder = PictorCreate();
    PictorSettings settings;
    PictorDefaultSettings(&settings);
    settings.extendedAnalysis = static_cast<int32_t>(state.range(0));
    std::vector<unsigned char> out(225000);
    for (auto _ : state) {
        PictorStream stream{out.data(), out.size(), 0, nullptr, nullptr};
        if (PictorResetCarried(encoder) != 0 ||
            PictorEncodeTiff(encoder, &settings, tiff.data(), tiff.size(), &stream, nullptr) != 0)
            state.SkipWithError("job failed");
    }
    if (PictorDestroy(encoder) != 0) state.SkipWithError("instance busy at its end");
    state.SetItemsProcessed(state.iterations());
    state.counters["rss_mb"] = PeakRssMegabytes();
    state.SetLabel(state.range(0) != 0 ? "extended" : "simple");
}
BENCHMARK(BM_InstanceJobs)
    ->ArgName("extended")
    ->Arg(0)
    ->Arg(1)
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
