// The whole job of the example picture through the entry point, as the command runs it: the
// TIFF read and converted, the analysis, the passes and the stream file. Simple and extended
// rule at 1,200,000 bits, each iteration as the first job of a process.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <string>

#include "support/files.h"
#include "support/job_runner.h"
#include "support/state.h"

namespace {

void BM_Job(benchmark::State& state) {
    const std::string example = PICTOR_SOURCE_DIR "/examples/still/astronaut.tif";
    if (!FileExists(example)) return state.SkipWithError("no example picture");
    TempDir dir;
    mkdir((dir / "still").c_str(), 0755);
    WriteFileBytes(dir / "still/astronaut.tif", ReadFileBytes(example));
    WriteFileText(dir / "job.tp", "SOURCE_FILE astronaut.tif\nTARGET_SIZE " +
                                      std::to_string(state.range(1)) +
                                      "\nFRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n");
    JobOptions options;
    options.extendedAnalysis = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        ResetAllState();
        if (RunPictor(dir.path, "job.tp", options).result != 0) state.SkipWithError("job failed");
    }
    state.SetLabel(state.range(0) != 0 ? "extended" : "simple");
}
BENCHMARK(BM_Job)
    ->ArgNames({"extended", "target"})
    ->Args({0, 1200000})
    ->Args({1, 1200000})
    ->Unit(benchmark::kMillisecond);

}  // namespace
