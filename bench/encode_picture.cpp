// A whole 720 x 576 encode of the example picture from planes in memory to the stream file, at
// three targets (bench_stages takes it stage by stage).
#include <benchmark/benchmark.h>

#include <string>

#include "coding/bit_writer.h"
#include "example_picture.h"
#include "runtime/registry.h"
#include "support/files.h"
#include "support/state.h"

namespace {

const BenchPicture& Astronaut() {
    static const BenchPicture picture = ReadExamplePicture();
    return picture;
}

void BM_EncodePicture(benchmark::State& state) {
    if (!Astronaut().ready()) return state.SkipWithError("no example picture");
    TempDir dir;
    const std::string stream = dir / "p.m2v";
    const PlanesJob job = JobOf(Astronaut(), static_cast<int32_t>(state.range(0)), stream);
    for (auto _ : state) {
        ResetAllState();
        if (EncodePlanesToFile(job) != 0) state.SkipWithError("encode failed");
    }
    state.counters["bits"] = BitsWritten();
    ResetAllState();
}
BENCHMARK(BM_EncodePicture)->Arg(160000)->Arg(600000)->Arg(1800000)->Unit(benchmark::kMillisecond);

}  // namespace
