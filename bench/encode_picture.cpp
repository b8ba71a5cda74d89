// A whole 720 x 576 encode of the example picture from planes in memory to the stream file,
// and the same encode stage by stage to show where its time goes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "api/registry.h"
#include "coding/bit_writer.h"
#include "coding/headers.h"
#include "coding/quantise.h"
#include "control/analysis.h"
#include "control/encoder.h"
#include "control/passes.h"
#include "control/rate_control.h"
#include "example_picture.h"
#include "params/settings.h"
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
    const PlanesJob job = JobOf(Astronaut(), static_cast<int32_t>(state.range(0)), dir / "p.m2v");
    for (auto _ : state) {
        ResetAllState();
        if (EncodePlanesToFile(job) != 0) state.SkipWithError("encode failed");
    }
    state.counters["bits"] = BitsWritten();
    ResetAllState();
}
BENCHMARK(BM_EncodePicture)->Arg(160000)->Arg(600000)->Arg(1800000)->Unit(benchmark::kMillisecond);

// The state the driver's stages leave for the next: settings, planes, matrix, arrays.
struct Stages {
    std::vector<int32_t> q, types, difcnt, alccnt, rescnt;
    std::vector<int16_t> coefficients;
    CoefficientStore store{};
    RateControlState rc{};

    // 0, or -1 when the preparation or a pass fails.
    int Prepare(const PlanesJob& job) {
        ResetAllState();
        coefficients.assign(kBenchWidth / 16 * kBenchHeight / 16 * kMacroblockValues, 0);
        store = CoefficientStore{coefficients.data(), kBenchWidth / 16, kBenchHeight / 16};
        if (PreparePlanesJob(job) != 0 || DeriveSettings() != 0 || DecimateChroma() != 0 ||
            AnalysePicture(job.target, &store) != 0)
            return -1;
        const size_t n = static_cast<size_t>(gSettings.MBCount);
        for (std::vector<int32_t>* v : {&q, &types, &difcnt, &alccnt, &rescnt}) v->assign(n, 0);
        gMacroblockBits = MacroblockBits{difcnt.data(), alccnt.data(), rescnt.data()};
        InitRateControl(&rc);
        if (CodingPass1(q.data(), types.data(), &rc, &store) != 0 ||
            CodingPass2(q.data(), types.data(), &store) != 0)
            return -1;
        AllocateBits(0);
        return 0;
    }
};

// 0 for the new analysis of a fresh copy of the picture; 0, or -1 when a stage fails.
int RunStage(int stage, Stages& s, const PlanesJob& job, benchmark::State& state) {
    switch (stage) {
        case 0:
            state.PauseTiming();
            ResetAllState();
            if (PreparePlanesJob(job) != 0 || DeriveSettings() != 0) return -1;
            state.ResumeTiming();
            return DecimateChroma() != 0 || AnalysePicture(job.target, &s.store) != 0 ? -1 : 0;
        case 1:
            return CodingPass1(s.q.data(), s.types.data(), &s.rc, &s.store);
        case 2:
            return CodingPass2(s.q.data(), s.types.data(), &s.store);
        default: {
            ResetBitWriter();
            FILE* stream = TrackedOpen(job.streamPath, "wb");
            if (stream == nullptr) return -1;
            gBitWriter.out = stream;
            WriteSequenceHeader(gIntraMatrix.weights);
            WriteSequenceDisplayExtension();
            WriteGopHeader();
            WritePictureHeader();
            const int result = FinalCodingPass(s.q.data(), s.types.data(), &s.store);
            WriteSequenceEnd();
            TrackedClose(stream);
            gBitWriter.out = nullptr;
            return result;
        }
    }
}

void BM_Stage(benchmark::State& state) {
    if (!Astronaut().ready()) return state.SkipWithError("no example picture");
    TempDir dir;
    const PlanesJob job = JobOf(Astronaut(), 600000, dir / "p.m2v");
    Stages s;
    if (s.Prepare(job) != 0) return state.SkipWithError("the stages before failed");
    for (auto _ : state) {
        if (RunStage(static_cast<int>(state.range(0)), s, job, state) != 0)
            state.SkipWithError("the stage failed");
    }
    ResetAllState();
}
BENCHMARK(BM_Stage)
    ->ArgName("analysis0_pass1_pass2_final3")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
