#include "media/silent_audio.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <cstring>

#include "media/av_sonames.h"
#include "media/loaded_library.h"

namespace {

constexpr int64_t kClock = 90000;

struct EncoderLibrary {
    decltype(&avcodec_find_encoder) findEncoder;
    decltype(&avcodec_alloc_context3) allocContext;
    decltype(&avcodec_open2) open;
    decltype(&avcodec_free_context) freeContext;
    decltype(&avcodec_send_frame) sendFrame;
    decltype(&avcodec_receive_packet) receivePacket;
    decltype(&av_packet_alloc) packetAlloc;
    decltype(&av_packet_free) packetFree;
    decltype(&av_packet_unref) packetUnref;
    decltype(&av_frame_alloc) frameAlloc;
    decltype(&av_frame_free) frameFree;
    decltype(&av_frame_get_buffer) frameGetBuffer;
};

void Load(LoadedLibrary<EncoderLibrary>* s) {
    void* const avutil = OpenLibrary(kAvutil, &s->error);
    void* const avcodec = avutil != nullptr ? OpenLibrary(kAvcodec, &s->error) : nullptr;
    if (avcodec == nullptr) return;
    EncoderLibrary& f = s->functions;
    const Binder codec{avcodec, kAvcodec, &s->error};
    const Binder util{avutil, kAvutil, &s->error};
    s->loaded =
        codec("avcodec_find_encoder", &f.findEncoder) &&
        codec("avcodec_alloc_context3", &f.allocContext) && codec("avcodec_open2", &f.open) &&
        codec("avcodec_free_context", &f.freeContext) &&
        codec("avcodec_send_frame", &f.sendFrame) &&
        codec("avcodec_receive_packet", &f.receivePacket) &&
        codec("av_packet_alloc", &f.packetAlloc) && codec("av_packet_free", &f.packetFree) &&
        codec("av_packet_unref", &f.packetUnref) && util("av_frame_alloc", &f.frameAlloc) &&
        util("av_frame_free", &f.frameFree) && util("av_frame_get_buffer", &f.frameGetBuffer);
}

// One encoding's objects, released however it ends.
struct Encoding {
    explicit Encoding(const EncoderLibrary& library) : f(library) {}
    ~Encoding() {
        f.freeContext(&context);
        f.packetFree(&packet);
        f.frameFree(&frame);
    }
    Encoding(const Encoding&) = delete;
    Encoding& operator=(const Encoding&) = delete;
    const EncoderLibrary& f;
    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
};

void SetStereo(AVChannelLayout* layout) {
    layout->order = AV_CHANNEL_ORDER_NATIVE;
    layout->nb_channels = kSilenceChannels;
    layout->u.mask = AV_CH_LAYOUT_STEREO;
}

bool Open(Encoding* e) {
    const AVCodec* ac3 = e->f.findEncoder(AV_CODEC_ID_AC3);
    e->context = ac3 != nullptr ? e->f.allocContext(ac3) : nullptr;
    e->packet = e->f.packetAlloc();
    e->frame = e->f.frameAlloc();
    if (e->context == nullptr || e->packet == nullptr || e->frame == nullptr) return false;
    AVCodecContext& c = *e->context;
    c.sample_fmt = AV_SAMPLE_FMT_FLTP;
    c.sample_rate = kSilenceRate;
    c.bit_rate = kSilenceBitRate;
    c.time_base = AVRational{1, kSilenceRate};
    SetStereo(&c.ch_layout);
    if (e->f.open(e->context, ac3, nullptr) < 0 || c.frame_size != kSilenceFrameSamples)
        return false;
    AVFrame& frame = *e->frame;
    frame.format = AV_SAMPLE_FMT_FLTP;
    frame.nb_samples = kSilenceFrameSamples;
    frame.sample_rate = kSilenceRate;
    SetStereo(&frame.ch_layout);
    if (e->f.frameGetBuffer(e->frame, 0) < 0) return false;
    // All-zero bytes are 0.0 in every planar float sample.
    for (int channel = 0; channel < kSilenceChannels; ++channel)
        std::memset(frame.extended_data[channel], 0, sizeof(float) * kSilenceFrameSamples);
    return true;
}

// Takes what the encoder has ready; false on its error.
bool Drain(Encoding* e, std::vector<std::vector<uint8_t>>* frames) {
    for (;;) {
        const int got = e->f.receivePacket(e->context, e->packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
        if (got < 0) return false;
        frames->emplace_back(e->packet->data, e->packet->data + e->packet->size);
        e->f.packetUnref(e->packet);
    }
}

}  // namespace

std::string EncodeSilence(int64_t ticks, std::vector<std::vector<uint8_t>>* frames) {
    std::string error;
    const EncoderLibrary* f = LoadOnce<EncoderLibrary, Load>(&error);
    if (f == nullptr) return "cannot make silent audio: " + error;
    const int64_t frameTicks = kSilenceFrameSamples * kClock / kSilenceRate;
    const size_t wanted = static_cast<size_t>((ticks + frameTicks - 1) / frameTicks);
    Encoding e(*f);
    if (!Open(&e)) return "cannot make silent audio: libavcodec's AC-3 encoder did not open";
    frames->clear();
    for (size_t sent = 0; sent < wanted; ++sent) {
        e.frame->pts = static_cast<int64_t>(sent) * kSilenceFrameSamples;
        if (e.f.sendFrame(e.context, e.frame) < 0 || !Drain(&e, frames))
            return "cannot make silent audio: the AC-3 encoder failed";
    }
    if (e.f.sendFrame(e.context, nullptr) < 0 || !Drain(&e, frames) || frames->size() < wanted)
        return "cannot make silent audio: the AC-3 encoder failed";
    frames->resize(wanted);
    return "";
}
