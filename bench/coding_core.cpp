// Throughput of the coding core: forward DCT, intra quantiser, block coder.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "coding/bit_writer.h"
#include "coding/macroblock_coder.h"
#include "coding/quantise.h"
#include "coding/tables.h"
#include "coding/transform.h"
#include "params/settings.h"

namespace {

constexpr int kBlocks = 1024;

// Smooth picture-like blocks with some noise.
std::vector<int32_t> SampleBlocks() {
    std::mt19937 random(3);
    std::vector<int32_t> samples(kBlocks * 64);
    for (int b = 0; b < kBlocks; ++b)
        for (int i = 0; i < 64; ++i)
            samples[64 * b + i] =
                static_cast<int32_t>((b * 37 + (i % 8) * 9 + (i / 8) * 5 + random() % 24) % 256);
    return samples;
}

void SetUpMatrix() {
    SetDefaultSettings();
    for (int i = 0; i < 64; ++i) tIntraMatrix->weights[i] = kDefaultIntraMatrix[i];
}

void BM_ForwardDct(benchmark::State& state) {
    const std::vector<int32_t> source = SampleBlocks();
    std::vector<int32_t> samples = source;
    int32_t out[64];
    int b = 0;
    for (auto _ : state) {
        ForwardDct(&samples[64 * b], out);
        benchmark::DoNotOptimize(out);
        b = (b + 1) % kBlocks;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ForwardDct);

// The blocks of a 720 x 576 picture's macroblocks from 8-bit planes into a coefficient store,
// by each variant that runs here.
void BM_TransformPicture(benchmark::State& state) {
    const DctVariant variant = kDctVariants[state.range(0)];
    state.SetLabel(DctVariantName(variant));
    if (!DctVariantRuns(variant)) return state.SkipWithError("not on this processor");
    std::mt19937 random(5);
    std::vector<uint8_t> luma(720 * 576), chroma(360 * 288);
    for (uint8_t& v : luma) v = static_cast<uint8_t>(random());
    for (uint8_t& v : chroma) v = static_cast<uint8_t>(random());
    const int columns = 45, rows = 36;
    std::vector<int16_t> coefficients(columns * rows * kMacroblockValues);
    std::vector<const uint8_t*> origins;
    std::vector<int16_t*> out;
    for (int mb = 0; mb < columns * rows; ++mb) {
        const int x = 16 * (mb % columns), y = 16 * (mb / columns);
        for (int b = 0; b < 4; ++b) {
            origins.push_back(&luma[(y + 8 * (b / 2)) * 720 + x + 8 * (b % 2)]);
            out.push_back(&coefficients[mb * kMacroblockValues + 64 * b]);
        }
    }
    std::vector<const uint8_t*> chromaOrigins;
    std::vector<int16_t*> chromaOut;
    for (int mb = 0; mb < columns * rows; ++mb) {
        for (int c = 0; c < 2; ++c) {
            chromaOrigins.push_back(&chroma[8 * (mb / columns) * 360 + 8 * (mb % columns)]);
            chromaOut.push_back(&coefficients[mb * kMacroblockValues + 64 * (4 + c)]);
        }
    }
    for (auto _ : state) {
        TransformBlocks(variant, origins.data(), 720, out.data(), static_cast<int>(out.size()));
        TransformBlocks(variant, chromaOrigins.data(), 360, chromaOut.data(),
                        static_cast<int>(chromaOut.size()));
        benchmark::DoNotOptimize(coefficients.data());
    }
    state.SetItemsProcessed(state.iterations() * columns * rows * 6);
}
BENCHMARK(BM_TransformPicture)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

std::vector<int32_t> CoefficientBlocks() {
    std::vector<int32_t> samples = SampleBlocks();
    std::vector<int32_t> coefficients(samples.size());
    for (int b = 0; b < kBlocks; ++b) ForwardDct(&samples[64 * b], &coefficients[64 * b]);
    return coefficients;
}

void BM_QuantiseIntraBlock(benchmark::State& state) {
    SetUpMatrix();
    const std::vector<int32_t> coefficients = CoefficientBlocks();
    const int q = static_cast<int>(state.range(0));
    int32_t levels[64];
    int b = 0;
    for (auto _ : state) {
        QuantiseIntraBlock(q, tSettings->IntraDCPrecision, &coefficients[64 * b], levels);
        benchmark::DoNotOptimize(levels);
        b = (b + 1) % kBlocks;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QuantiseIntraBlock)->Arg(1)->Arg(8)->Arg(31);

// One block per iteration into the macroblock code list.
void BM_EncodeIntraBlock(benchmark::State& state) {
    SetUpMatrix();
    const std::vector<int32_t> coefficients = CoefficientBlocks();
    std::vector<int32_t> levels(coefficients.size());
    for (int b = 0; b < kBlocks; ++b)
        QuantiseIntraBlock(static_cast<int>(state.range(0)), tSettings->IntraDCPrecision,
                           &coefficients[64 * b], &levels[64 * b]);
    int b = 0;
    for (auto _ : state) {
        StartCodeList();
        EncodeIntraBlock(b % 6, &levels[64 * b]);
        benchmark::DoNotOptimize(tCodeList->count);
        b = (b + 1) % kBlocks;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeIntraBlock)->Arg(1)->Arg(8)->Arg(31);

}  // namespace
