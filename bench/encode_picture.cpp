// A whole 720 x 576 encode from picture planes in memory to the stream file,
// and the same encode stage by stage to show where its time goes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "api/registry.h"
#include "coding/bit_writer.h"
#include "coding/headers.h"
#include "control/analysis.h"
#include "control/encoder.h"
#include "control/passes.h"
#include "control/rate_control.h"
#include "params/settings.h"

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;

// Planes as the conversion hands them over: chroma half width, full height.
struct Picture {
    std::vector<uint8_t> y, cb, cr;
};

uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

const Picture& Astronaut() {
    static Picture picture = [] {
        Picture p;
        std::vector<uint8_t> rgb(kWidth * kHeight * 3);
        FILE* pipe =
            popen("convert /work/shared/pictures/astronaut_720x576.png -depth 8 rgb:-", "r");
        if (pipe == nullptr || std::fread(rgb.data(), 1, rgb.size(), pipe) != rgb.size())
            std::abort();
        pclose(pipe);
        p.y.resize(kWidth * kHeight);
        p.cb.resize(kWidth / 2 * kHeight);
        p.cr.resize(kWidth / 2 * kHeight);
        for (int i = 0; i < kWidth * kHeight; ++i) {
            const int r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
            p.y[i] = Clamp((66 * r + 129 * g + 25 * b + 128) / 256 + 16);
            if (i % 2 == 0) {
                p.cb[i / 2] = Clamp((-38 * r - 74 * g + 112 * b + 128) / 256 + 128);
                p.cr[i / 2] = Clamp((112 * r - 94 * g - 18 * b + 128) / 256 + 128);
            }
        }
        return p;
    }();
    return picture;
}

const char* kStream = "/tmp/pictor_bench_encode_picture.ts";

PlanesJob Job(int32_t target) {
    const Picture& p = Astronaut();
    return PlanesJob{kWidth, kHeight, p.y.data(), p.cb.data(), p.cr.data(), target, 1, 0, kStream};
}

void ResetRegistries() {
    FreeAllTracked();
    CloseAllTracked();
    ResetAllocRegistry();
    ResetFileRegistry();
}

void BM_EncodePicture(benchmark::State& state) {
    const int32_t target = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        ResetRegistries();
        if (EncodePlanesToFile(Job(target)) != 0) state.SkipWithError("encode failed");
    }
    state.counters["bits"] = BitsWritten();
    ResetRegistries();
    std::remove(kStream);
}
BENCHMARK(BM_EncodePicture)->Arg(160000)->Arg(600000)->Arg(1800000)->Unit(benchmark::kMillisecond);

// The driver's stages, each timed alone over the state the stages before it leave.
struct Stages {
    std::vector<int32_t> q, types, difcnt, alccnt, rescnt;
    std::vector<int16_t> coefficients;
    CoefficientPlanes planes{};
    RateControlState rc{};

    void Prepare(int32_t target) {
        ResetRegistries();
        PreparePlanesJob(Job(target));
        DeriveSettings();
        if (DecimateChroma() != 0 || AnalysePicture(target) != 0) std::abort();
        const size_t n = static_cast<size_t>(gSettings.MBCount);
        q.assign(n, 0);
        types.assign(n, 0);
        difcnt.assign(n, 0);
        alccnt.assign(n, 0);
        rescnt.assign(n, 0);
        gMacroblockBits = MacroblockBits{difcnt.data(), alccnt.data(), rescnt.data()};
        coefficients.assign(kWidth * kHeight * 3 / 2, 0);
        int16_t* c = coefficients.data();
        planes = CoefficientPlanes{{kWidth, kHeight, c},
                                   {kWidth / 2, kHeight / 2, c + kWidth * kHeight},
                                   {kWidth / 2, kHeight / 2, c + kWidth * kHeight * 5 / 4}};
        InitRateControl(&rc);
    }
};

void BM_Stage(benchmark::State& state) {
    const int stage = static_cast<int>(state.range(0));
    Stages s;
    s.Prepare(600000);
    if (CodingPass1(s.q.data(), s.types.data(), &s.rc, &s.planes) != 0 ||
        CodingPass2(s.q.data(), s.types.data(), &s.planes) != 0)
        state.SkipWithError("a pass failed");
    AllocateBits(0);
    for (auto _ : state) {
        switch (stage) {
            case 0:  // decimation and pre-analysis of a fresh copy of the picture
                state.PauseTiming();
                ResetRegistries();
                PreparePlanesJob(Job(600000));
                DeriveSettings();
                state.ResumeTiming();
                if (DecimateChroma() != 0 || AnalysePicture(600000) != 0)
                    state.SkipWithError("analysis failed");
                break;
            case 1:
                if (CodingPass1(s.q.data(), s.types.data(), &s.rc, &s.planes) != 0)
                    state.SkipWithError("pass 1 failed");
                break;
            case 2:
                if (CodingPass2(s.q.data(), s.types.data(), &s.planes) != 0)
                    state.SkipWithError("pass 2 failed");
                break;
            case 3: {
                ResetBitWriter();
                FILE* out = TrackedOpen(kStream, "wb");
                gBitWriter.out = out;
                WriteSequenceHeader(gIntraMatrix.weights);
                WriteSequenceDisplayExtension();
                WriteGopHeader();
                WritePictureHeader();
                if (FinalCodingPass(s.q.data(), s.types.data(), &s.planes) != 0)
                    state.SkipWithError("the final pass failed");
                WriteSequenceEnd();
                TrackedClose(out);
                gBitWriter.out = nullptr;
                break;
            }
        }
    }
    gMacroblockBits = MacroblockBits{};
    ResetRegistries();
    std::remove(kStream);
}
BENCHMARK(BM_Stage)
    ->ArgName("analysis0_pass1_pass2_final3")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
