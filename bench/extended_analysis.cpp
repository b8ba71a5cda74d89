// A 720 x 576 picture with the extended pre-analysis (error statistics and
// threshold search) against the simple one (scaled default matrix): the
// analysis alone, and the whole job from picture planes to a stream file.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "control/analysis.h"
#include "control/encoder.h"
#include "control/threshold_search.h"
#include "convert/planes.h"
#include "example_picture.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "runtime/registry.h"
#include "support/files.h"
#include "support/state.h"

namespace {

enum PictureKind { kAstronaut = 0, kNoise = 1, kNearlyFlat = 2 };

// The example picture; full-range noise; a grey ramp of three levels.
BenchPicture MakePicture(PictureKind kind) {
    if (kind == kAstronaut) return ReadExamplePicture();
    std::vector<uint8_t> rgb(kBenchWidth * kBenchHeight * 3, 128);
    if (kind == kNoise) {
        std::mt19937 random(7);
        for (uint8_t& v : rgb) v = static_cast<uint8_t>(random() & 255);
    } else {
        for (int i = 0; i < kBenchWidth * kBenchHeight; ++i)
            rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = 120 + (i % kBenchWidth) / 240;
    }
    return FromRgb(rgb);
}

const BenchPicture& PictureOf(int kind) {
    static const std::vector<BenchPicture> pictures = {MakePicture(kAstronaut), MakePicture(kNoise),
                                                       MakePicture(kNearlyFlat)};
    return pictures[kind];
}

// args: picture, extended (0/1), target bits. The planes are decimated to 4:2:0
// once, as the encoder driver does before the analysis.
void BM_Analysis(benchmark::State& state) {
    if (!PictureOf(state.range(0)).ready()) return state.SkipWithError("no example picture");
    BenchPicture picture = PictureOf(static_cast<int>(state.range(0)));
    const int32_t target = static_cast<int32_t>(state.range(2));
    ResetAllState();
    const std::string noStream;
    SetPlanesJobSettings(JobOf(picture, target, noStream));
    tPlanes->y = picture.y.data();
    tPlanes->cb = picture.cb.data();
    tPlanes->cr = picture.cr.data();
    if (DeriveSettings() != 0 || DecimateChroma() != 0)
        return state.SkipWithError("the settings or the decimation failed");
    tSwitches->extendedAnalysis = static_cast<int32_t>(state.range(1));
    std::vector<int16_t> coefficients(kBenchWidth / 16 * kBenchHeight / 16 * kMacroblockValues);
    CoefficientStore store{coefficients.data(), kBenchWidth / 16, kBenchHeight / 16};
    for (auto _ : state) {
        ResetAllocRegistry();  // a job's registry holds records for a few analyses only
        if (AnalysePicture(target, &store) != 0) state.SkipWithError("analysis failed");
        benchmark::DoNotOptimize(tSettings->IntraDCPrecision);
    }
    if (state.range(1) != 0)
        state.counters["threshold"] = tThreshold->threshold;  // the simple rule has none
    *tPlanes = PicturePlanes{};
    ResetAllState();
}

// The whole job: settings, pre-analysis, the passes and the stream file.
void BM_Job(benchmark::State& state) {
    const BenchPicture& picture = PictureOf(static_cast<int>(state.range(0)));
    if (!picture.ready()) return state.SkipWithError("no example picture");
    TempDir dir;
    const std::string stream = dir / "p.m2v";
    const PlanesJob job = JobOf(picture, static_cast<int32_t>(state.range(2)), stream);
    for (auto _ : state) {
        ResetAllState();
        tSwitches->extendedAnalysis = static_cast<int32_t>(state.range(1));
        if (EncodePlanesToFile(job) != 0) state.SkipWithError("job failed");
    }
    if (state.range(1) != 0)
        state.counters["threshold"] = tThreshold->threshold;  // the simple rule has none
    ResetAllState();
}

void Arguments(benchmark::internal::Benchmark* b) {
    b->ArgNames({"picture", "extended", "target"});
    for (int kind : {kAstronaut, kNoise, kNearlyFlat})
        for (int target : {400000, 1200000})
            for (int extended : {0, 1}) b->Args({kind, extended, target});
    b->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_Analysis)->Apply(Arguments);
BENCHMARK(BM_Job)->Apply(Arguments);

}  // namespace
