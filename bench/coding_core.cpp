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
    for (int i = 0; i < 64; ++i) gIntraMatrix.weights[i] = kDefaultIntraMatrix[i];
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
        QuantiseIntraBlock(q, &coefficients[64 * b], levels);
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
        QuantiseIntraBlock(static_cast<int>(state.range(0)), &coefficients[64 * b],
                           &levels[64 * b]);
    int b = 0;
    for (auto _ : state) {
        StartCodeList();
        EncodeIntraBlock(b % 6, &levels[64 * b]);
        benchmark::DoNotOptimize(gCodeList.count);
        b = (b + 1) % kBlocks;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeIntraBlock)->Arg(1)->Arg(8)->Arg(31);

}  // namespace
