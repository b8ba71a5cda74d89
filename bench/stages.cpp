// The job of the example photograph stage by stage, at 1,200,000 bits with the simple and the
// extended rule: each stage repeated on the state the stages before it leave, so the table
// shows where a job's time goes. The stages in the order of a job:
//   0 read_convert   the TIFF read and converted into the picture planes
//   1 decimate       the chroma reduced to 4:2:0
//   2 transform      every block's DCT into the coefficient store
//   3 analysis       the whole pre-analysis (the transform included) and the matrix rule
//   4 pass1, 5 pass2, 6 final (the headers, the final pass and the stream file)
//   7 final_coding   the headers and the final pass alone: the bytes counted, no stream file
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "coding/bit_writer.h"
#include "coding/headers.h"
#include "coding/quantise.h"
#include "control/analysis.h"
#include "control/encoder.h"
#include "control/passes.h"
#include "control/rate_control.h"
#include "control/threshold_search.h"
#include "convert/convert_source.h"
#include "convert/planes.h"
#include "example_picture.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "runtime/registry.h"
#include "support/files.h"
#include "support/state.h"
#include "tiff/tiff_fields.h"

namespace {

constexpr int32_t kTarget = 1200000;
const char* const kStageNames[] = {"read_convert", "decimate", "transform", "analysis",
                                   "pass1",        "pass2",    "final",     "final_coding"};

const BenchPicture& Astronaut() {
    static const BenchPicture picture = ConvertExamplePicture();
    return picture;
}

// The state each stage leaves for the next, for one rule.
struct Stages {
    std::string streamPath;
    std::vector<uint8_t> converted;  // Cb and Cr as converted, before the decimation
    std::vector<int32_t> q, types, difcnt, alccnt, rescnt;
    std::vector<int16_t> coefficients;
    CoefficientStore store{};
    RateControlState rc{};

    // Every stage once; 0, or -1 when one fails.
    int Prepare(int extended) {
        ResetAllState();
        tSwitches->extendedAnalysis = extended;
        if (PreparePlanesJob(JobOf(Astronaut(), kTarget, streamPath)) != 0 || DeriveSettings() != 0)
            return -1;
        const size_t chroma = static_cast<size_t>(kBenchWidth / 2) * kBenchHeight;
        converted.assign(tPlanes->cb, tPlanes->cb + chroma);
        converted.insert(converted.end(), tPlanes->cr, tPlanes->cr + chroma);
        coefficients.assign(kBenchWidth / 16 * kBenchHeight / 16 * kMacroblockValues, 0);
        store = CoefficientStore{coefficients.data(), kBenchWidth / 16, kBenchHeight / 16};
        if (DecimateChroma() != 0 || AnalysePicture(kTarget, &store) != 0) return -1;
        const size_t n = static_cast<size_t>(tSettings->MBCount);
        for (std::vector<int32_t>* v : {&q, &types, &difcnt, &alccnt, &rescnt}) v->assign(n, 0);
        *tMacroblockBits = MacroblockBits{difcnt.data(), alccnt.data(), rescnt.data()};
        InitRateControl(&rc);
        if (CodingPass1(q.data(), types.data(), &rc, &store) != 0 ||
            CodingPass2(q.data(), types.data(), &store) != 0)
            return -1;
        AllocateBits(0);
        return 0;
    }

    static void WriteHeaders() {
        WriteSequenceHeader(*tSettings, tIntraMatrix->weights);
        WriteSequenceDisplayExtension(*tSettings);
        WriteGopHeader();
        WritePictureHeader(*tSettings);
    }

    // One run of `stage`; 0, or -1 when it fails.
    int Run(int stage, benchmark::State& state) {
        switch (stage) {
            case 0: {
                const std::string path = PICTOR_SOURCE_DIR "/examples/still/astronaut.tif";
                state.PauseTiming();
                uint8_t* planes[3] = {tPlanes->y, tPlanes->cb, tPlanes->cr};
                *tPlanes = PicturePlanes{};
                ResetTiffFields();
                state.ResumeTiming();
                const int result = ConvertSourcePicture(path.c_str());
                state.PauseTiming();
                TrackedFree(tPlanes->y);
                TrackedFree(tPlanes->cb);
                TrackedFree(tPlanes->cr);
                CloseAllTracked();
                *tPlanes =
                    PicturePlanes{planes[0], planes[1], planes[2], nullptr, nullptr, nullptr};
                state.ResumeTiming();
                return result;
            }
            case 1: {
                state.PauseTiming();
                const size_t chroma = converted.size() / 2;
                std::memcpy(tPlanes->cb, converted.data(), chroma);
                std::memcpy(tPlanes->cr, converted.data() + chroma, chroma);
                state.ResumeTiming();
                return DecimateChroma();
            }
            case 2: {
                const SamplePlanes picture{tPlanes->y, tPlanes->cb, tPlanes->cr, kBenchWidth, 0, 0};
                TransformMacroblockRows(picture, 0, store.rows, &store);
                return 0;
            }
            case 3:
                // Each job starts the search without an earlier job's estimate quantiser.
                ResetCarriedSearchState();
                return AnalysePicture(kTarget, &store);
            case 4:
                return CodingPass1(q.data(), types.data(), &rc, &store);
            case 5:
                return CodingPass2(q.data(), types.data(), &store);
            case 7: {
                ResetBitWriter();
                WriteHeaders();
                const int result = FinalCodingPass(q.data(), types.data(), &store);
                WriteSequenceEnd();
                return result;
            }
            default: {
                ResetBitWriter();
                FILE* stream = TrackedOpen(streamPath.c_str(), "wb");
                if (stream == nullptr) return -1;
                tBitWriter->out = stream;
                WriteHeaders();
                const int result = FinalCodingPass(q.data(), types.data(), &store);
                WriteSequenceEnd();
                FlushBitWriter();
                TrackedClose(stream);
                tBitWriter->out = nullptr;
                return result;
            }
        }
    }
};

// args: stage, extended (0/1).
void BM_Stage(benchmark::State& state) {
    if (!Astronaut().ready()) return state.SkipWithError("no example picture");
    const int stage = static_cast<int>(state.range(0));
    state.SetLabel(std::string(kStageNames[stage]) + (state.range(1) != 0 ? " extended" : ""));
    TempDir dir;
    Stages s;
    s.streamPath = dir / "p.m2v";
    if (s.Prepare(static_cast<int>(state.range(1))) != 0)
        return state.SkipWithError("the stages before failed");
    for (auto _ : state) {
        ResetAllocRegistry();  // a job's registry holds records for a few runs of a stage only
        if (s.Run(stage, state) != 0) state.SkipWithError("the stage failed");
    }
    ResetAllState();
}

void Arguments(benchmark::internal::Benchmark* b) {
    b->ArgNames({"stage", "extended"});
    for (int stage = 0; stage < 8; ++stage) b->Args({stage, 0});
    b->Args({3, 1});
    b->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_Stage)->Apply(Arguments);

}  // namespace
