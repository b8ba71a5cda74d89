// A 720 x 576 picture with the extended pre-analysis (error statistics and
// threshold search) against the simple one (scaled default matrix): the
// analysis alone, and the whole job from picture planes to a stream file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "api/job_driver.h"
#include "api/registry.h"
#include "control/analysis.h"
#include "control/encoder.h"
#include "control/threshold_search.h"
#include "convert/planes.h"
#include "params/settings.h"

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;

enum PictureKind { kAstronaut = 0, kNoise = 1, kNearlyFlat = 2 };

// As the conversion hands it over: chroma half width, full height.
struct Picture {
    std::vector<uint8_t> y, cb, cr;
};

uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

Picture MakePicture(PictureKind kind) {
    std::vector<uint8_t> rgb(kWidth * kHeight * 3, 128);
    if (kind == kAstronaut) {
        FILE* pipe =
            popen("convert /work/shared/pictures/astronaut_720x576.png -depth 8 rgb:-", "r");
        if (pipe == nullptr || fread(rgb.data(), 1, rgb.size(), pipe) != rgb.size()) std::abort();
        pclose(pipe);
    } else if (kind == kNoise) {
        std::mt19937 random(7);
        for (uint8_t& v : rgb) v = static_cast<uint8_t>(random() & 255);
    } else {
        for (int i = 0; i < kWidth * kHeight; ++i)
            rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = 120 + (i % kWidth) / 240;
    }
    Picture picture;
    picture.y.resize(kWidth * kHeight);
    picture.cb.resize(kWidth / 2 * kHeight);
    picture.cr.resize(kWidth / 2 * kHeight);
    for (int i = 0; i < kWidth * kHeight; i += 2) {
        int cb = 0, cr = 0;
        for (int k = i; k < i + 2; ++k) {
            const int r = rgb[3 * k], g = rgb[3 * k + 1], b = rgb[3 * k + 2];
            picture.y[k] = Clamp((66 * r + 129 * g + 25 * b + 128) / 256 + 16);
            cb += (-38 * r - 74 * g + 112 * b + 128) / 256 + 128;
            cr += (112 * r - 94 * g - 18 * b + 128) / 256 + 128;
        }
        picture.cb[i / 2] = Clamp((cb + 1) / 2);
        picture.cr[i / 2] = Clamp((cr + 1) / 2);
    }
    return picture;
}

const Picture& PictureOf(int kind) {
    static std::vector<Picture> pictures = {MakePicture(kAstronaut), MakePicture(kNoise),
                                            MakePicture(kNearlyFlat)};
    return pictures[kind];
}

void SetPictureSettings(int32_t target) {
    SetDefaultSettings();
    gSettings.FrameWidth = kWidth;
    gSettings.FrameHeight = kHeight;
    gSettings.XMBlock = gSettings.MBlockPerSlice = kWidth / 16;
    gSettings.YMBlock = kHeight / 16;
    gSettings.Target = target;
}

// args: picture, extended (0/1), target bits. The planes are decimated to 4:2:0
// once, as the encoder driver does before the analysis.
void BM_Analysis(benchmark::State& state) {
    Picture picture = PictureOf(static_cast<int>(state.range(0)));
    const int32_t target = static_cast<int32_t>(state.range(2));
    SetPictureSettings(target);
    DeriveSettings();
    gPlanes.y = picture.y.data();
    gPlanes.cb = picture.cb.data();
    gPlanes.cr = picture.cr.data();
    if (DecimateChroma() != 0) state.SkipWithError("decimation failed");
    gSwitches.extendedAnalysis = static_cast<int32_t>(state.range(1));
    for (auto _ : state) {
        ResetAllocRegistry();
        if (AnalysePicture(target) != 0) state.SkipWithError("analysis failed");
        benchmark::DoNotOptimize(gSettings.IntraDCPrecision);
    }
    if (state.range(1) != 0)
        state.counters["threshold"] = gThreshold.threshold;  // the simple rule has none
    gPlanes = PicturePlanes{};
    gSwitches.extendedAnalysis = 0;
}

// The whole job: settings, pre-analysis, the passes and the stream file.
void BM_Job(benchmark::State& state) {
    const Picture& picture = PictureOf(static_cast<int>(state.range(0)));
    const std::string path = "/tmp/bench_extended_analysis_" + std::to_string(getpid()) + ".m2v";
    PlanesJob job{kWidth,
                  kHeight,
                  picture.y.data(),
                  picture.cb.data(),
                  picture.cr.data(),
                  static_cast<int32_t>(state.range(2)),
                  1,
                  0,
                  path.c_str()};
    for (auto _ : state) {
        ResetAllocRegistry();
        ResetFileRegistry();
        gSwitches.extendedAnalysis = static_cast<int32_t>(state.range(1));
        if (EncodePlanesToFile(job) != 0) state.SkipWithError("job failed");
    }
    if (state.range(1) != 0)
        state.counters["threshold"] = gThreshold.threshold;  // the simple rule has none
    gSwitches.extendedAnalysis = 0;
    std::remove(path.c_str());
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
