// The whole job of the example picture through the entry point, as the command runs it: the
// TIFF read and converted, the analysis, the passes and the stream file. Simple and extended
// rule at 1,200,000 bits, each iteration as the first job of a process.
#include <benchmark/benchmark.h>

#include "example_job.h"

namespace {

void BM_Job(benchmark::State& state) {
    ExampleJob job(static_cast<int32_t>(state.range(1)), static_cast<int32_t>(state.range(0)));
    if (!job.ready) return state.SkipWithError("no example picture");
    for (auto _ : state) {
        if (!job.Run()) state.SkipWithError("job failed");
    }
    state.SetLabel(state.range(0) != 0 ? "extended" : "simple");
}
BENCHMARK(BM_Job)
    ->ArgNames({"extended", "target"})
    ->Args({0, 1200000})
    ->Args({1, 1200000})
    ->Unit(benchmark::kMillisecond);

}  // namespace
