// Pre-analysis of a 720 x 576 picture: the extended rule (error statistics and
// threshold search) against the simple rule (scaled default matrix).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "api/job_driver.h"
#include "api/registry.h"
#include "control/analysis.h"
#include "control/threshold_search.h"
#include "convert/planes.h"
#include "params/settings.h"

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;

enum PictureKind { kAstronaut = 0, kNoise = 1, kNearlyFlat = 2 };

struct Picture {
    std::vector<uint8_t> y, cb, cr;  // chroma already 4:2:0, row length kWidth / 2
};

uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

Picture MakePicture(PictureKind kind) {
    Picture picture;
    picture.y.assign(kWidth * kHeight, 128);
    picture.cb.assign(kWidth / 2 * kHeight, 128);
    picture.cr.assign(kWidth / 2 * kHeight, 128);
    std::vector<uint8_t> rgb(kWidth * kHeight * 3, 128);
    if (kind == kAstronaut) {
        FILE* pipe = popen("convert /work/shared/pictures/astronaut_720x576.png -depth 8 rgb:-", "r");
        if (pipe == nullptr || fread(rgb.data(), 1, rgb.size(), pipe) != rgb.size()) std::abort();
        pclose(pipe);
    } else if (kind == kNoise) {
        std::mt19937 random(7);
        for (uint8_t& v : rgb) v = static_cast<uint8_t>(random() & 255);
    } else {
        for (int i = 0; i < kWidth * kHeight; ++i) rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = 120 + (i % kWidth) / 240;
    }
    std::vector<int> cb(kWidth * kHeight), cr(kWidth * kHeight);
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const int r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
        picture.y[i] = Clamp((66 * r + 129 * g + 25 * b + 128) / 256 + 16);
        cb[i] = (-38 * r - 74 * g + 112 * b + 128) / 256 + 128;
        cr[i] = (112 * r - 94 * g - 18 * b + 128) / 256 + 128;
    }
    for (int row = 0; row < kHeight / 2; ++row) {
        for (int col = 0; col < kWidth / 2; ++col) {
            const int i = 2 * row * kWidth + 2 * col;
            picture.cb[row * (kWidth / 2) + col] = Clamp((cb[i] + cb[i + 1] + cb[i + kWidth] + cb[i + kWidth + 1] + 2) / 4);
            picture.cr[row * (kWidth / 2) + col] = Clamp((cr[i] + cr[i + 1] + cr[i + kWidth] + cr[i + kWidth + 1] + 2) / 4);
        }
    }
    return picture;
}

const Picture& PictureOf(PictureKind kind) {
    static std::vector<Picture> pictures = {MakePicture(kAstronaut), MakePicture(kNoise), MakePicture(kNearlyFlat)};
    return pictures[kind];
}

// args: picture kind, extended (0/1), target bits
void BM_AnalysePicture(benchmark::State& state) {
    Picture picture = PictureOf(static_cast<PictureKind>(state.range(0)));
    SetDefaultSettings();
    gSettings.FrameWidth = kWidth;
    gSettings.FrameHeight = kHeight;
    gPlanes.y = picture.y.data();
    gPlanes.cb = picture.cb.data();
    gPlanes.cr = picture.cr.data();
    gSwitches.extendedAnalysis = static_cast<int32_t>(state.range(1));
    const int32_t target = static_cast<int32_t>(state.range(2));
    for (auto _ : state) {
        ResetAllocRegistry();
        if (AnalysePicture(target) != 0) state.SkipWithError("analysis failed");
        benchmark::DoNotOptimize(gSettings.IntraDCPrecision);
    }
    state.counters["threshold"] = gThreshold.threshold;
    gPlanes = PicturePlanes{};
    gSwitches.extendedAnalysis = 0;
}

void AnalysisArguments(benchmark::internal::Benchmark* b) {
    b->ArgNames({"picture", "extended", "target"});
    for (int kind : {kAstronaut, kNoise, kNearlyFlat})
        for (int extended : {0, 1})
            for (int target : {400000, 1200000}) b->Args({kind, extended, target});
    b->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_AnalysePicture)->Apply(AnalysisArguments);

}  // namespace
