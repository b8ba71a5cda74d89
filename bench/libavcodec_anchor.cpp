// The in-process anchor of a job's speed: ONE fixed-quantiser MPEG-2 intra encode by libavcodec
// (mpeg2video, one I picture of 720 x 576 4:2:0, qmin = qmax = q, lambda q x FF_QP2LAMBDA, the
// library's default of one thread) of the planes the library codes for the example picture,
// beside the simple and the extended job on the same picture at 1,200,000 bits. The planes are
// ready before any timing starts: the encode reads no TIFF and converts no colour. It opens and
// closes its encoder, as one picture's encode does.
//   BM_Anchor/q:1, q:2             the encode alone (counter `bits`: its stream)
//   BM_Job/extended/memory         the job alone: memory:0 through the entry point with its job
//                                  file, TIFF file and stream file, as bench_job runs it; memory:1
//                                  on an encoder instance, the TIFF's bytes in and the stream into
//                                  a buffer, as the command runs a picture (and as the encode
//                                  takes its planes and gives its packet)
//   BM_JobOverAnchor/extended/memory rounds of one job and one q1 encode, alternated so a change
//                                  of the machine's load touches both alike: medians of the job's
//                                  and the encode's times and of the per-round ratio job / encode,
//                                  in wall time and in the process's CPU time
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/avutil.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
}
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "door/library_door.h"
#include "example_job.h"

namespace {

constexpr int32_t kTarget = 1200000;

// The example picture's coded planes as one frame, and the encodes of it.
class AnchorEncoder {
public:
    AnchorEncoder() {
        std::string error;
        if (!LibraryCodedPlanes(kExampleTiff, 0, &planes_, &error)) return;
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (frame_ == nullptr || packet_ == nullptr) return;
        frame_->format = AV_PIX_FMT_YUV420P;
        frame_->width = planes_.width;
        frame_->height = planes_.height;
        std::vector<uint8_t>* plane[3] = {&planes_.y, &planes_.cb, &planes_.cr};
        for (int i = 0; i < 3; ++i) {
            // Buffers of the frame's own kind, so the encoder takes a reference, not a copy.
            frame_->buf[i] = av_buffer_create(plane[i]->data(), plane[i]->size(), KeepPlane,
                                              nullptr, AV_BUFFER_FLAG_READONLY);
            if (frame_->buf[i] == nullptr) return;
            frame_->data[i] = plane[i]->data();
            frame_->linesize[i] = i == 0 ? planes_.width : planes_.width / 2;
        }
        ready_ = true;
    }
    ~AnchorEncoder() {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
    }
    AnchorEncoder(const AnchorEncoder&) = delete;
    AnchorEncoder& operator=(const AnchorEncoder&) = delete;

    bool ready() const { return ready_; }

    // One whole encode at quantiser q: the stream's bytes, or -1.
    int Encode(int q) {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
        AVCodecContext* c = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
        if (c == nullptr) return -1;
        c->width = planes_.width;
        c->height = planes_.height;
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->time_base = AVRational{1, 25};
        c->framerate = AVRational{25, 1};
        c->max_b_frames = 0;
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = q * FF_QP2LAMBDA;
        c->qmin = c->qmax = q;
        int bytes = -1;
        if (avcodec_open2(c, codec, nullptr) == 0) {
            frame_->quality = c->global_quality;
            frame_->pict_type = AV_PICTURE_TYPE_I;
            frame_->pts = 0;
            if (avcodec_send_frame(c, frame_) == 0 && avcodec_send_frame(c, nullptr) == 0) {
                bytes = 0;
                while (avcodec_receive_packet(c, packet_) == 0) {
                    bytes += packet_->size;
                    av_packet_unref(packet_);
                }
            }
        }
        avcodec_free_context(&c);
        return bytes;
    }

private:
    static void KeepPlane(void*, uint8_t*) {}

    CodedPlanes planes_;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    bool ready_ = false;
};

AnchorEncoder& Anchor() {
    static AnchorEncoder anchor;
    return anchor;
}

void BM_Anchor(benchmark::State& state) {
    if (!Anchor().ready()) return state.SkipWithError("the example picture's planes are missing");
    const int q = static_cast<int>(state.range(0));
    int bytes = 0;
    for (auto _ : state) {
        bytes = Anchor().Encode(q);
        if (bytes < 0) state.SkipWithError("libavcodec could not encode");
    }
    state.counters["bits"] = 8.0 * bytes;
    state.SetLabel("libavcodec mpeg2video");
}
BENCHMARK(BM_Anchor)->ArgName("q")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The example job by either route.
struct RoutedJob {
    ExampleJob files;
    ExampleMemoryJob memory;
    bool inMemory;
    bool ready;

    explicit RoutedJob(const benchmark::State& state)
        : files(kTarget, static_cast<int32_t>(state.range(0))),
          memory(kTarget, static_cast<int32_t>(state.range(0))),
          inMemory(state.range(1) != 0),
          ready(inMemory ? memory.ready : files.ready) {}
    bool Run() { return inMemory ? memory.Run() : files.Run(); }
};

const char* LabelOf(const benchmark::State& state) {
    static const char* const kLabels[2][2] = {{"simple", "simple, memory"},
                                              {"extended", "extended, memory"}};
    return kLabels[state.range(0) != 0][state.range(1) != 0];
}

void BM_Job(benchmark::State& state) {
    RoutedJob job(state);
    if (!job.ready) return state.SkipWithError("no example picture");
    for (auto _ : state) {
        if (!job.Run()) state.SkipWithError("job failed");
    }
    state.SetLabel(LabelOf(state));
}
BENCHMARK(BM_Job)
    ->ArgNames({"extended", "memory"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 != 0 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The process's CPU time (the job's helper thread included), in milliseconds.
double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return 1e3 * static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_nsec);
}

void BM_JobOverAnchor(benchmark::State& state) {
    RoutedJob job(state);
    if (!job.ready || !Anchor().ready()) return state.SkipWithError("no example picture");
    using Clock = std::chrono::steady_clock;
    // Wall and CPU milliseconds of each round's encode and job.
    std::vector<double> anchorMs, jobMs, ratio, anchorCpu, jobCpu, cpuRatio;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const double cpuStart = ProcessCpuMs();
        if (Anchor().Encode(1) < 0) state.SkipWithError("libavcodec could not encode");
        const Clock::time_point between = Clock::now();
        const double cpuBetween = ProcessCpuMs();
        if (!job.Run()) state.SkipWithError("job failed");
        const Clock::time_point end = Clock::now();
        const double cpuEnd = ProcessCpuMs();
        anchorMs.push_back(std::chrono::duration<double, std::milli>(between - start).count());
        jobMs.push_back(std::chrono::duration<double, std::milli>(end - between).count());
        ratio.push_back(jobMs.back() / anchorMs.back());
        anchorCpu.push_back(cpuBetween - cpuStart);
        jobCpu.push_back(cpuEnd - cpuBetween);
        cpuRatio.push_back(jobCpu.back() / anchorCpu.back());
    }
    state.counters["job_ms"] = Median(jobMs);
    state.counters["anchor_q1_ms"] = Median(anchorMs);
    state.counters["ratio"] = Median(ratio);
    // CPU time holds still where other processes share the machine.
    state.counters["job_cpu_ms"] = Median(jobCpu);
    state.counters["anchor_q1_cpu_ms"] = Median(anchorCpu);
    state.counters["cpu_ratio"] = Median(cpuRatio);
    state.SetLabel(std::string(LabelOf(state)) + " over q1");
}
BENCHMARK(BM_JobOverAnchor)
    ->ArgNames({"extended", "memory"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
