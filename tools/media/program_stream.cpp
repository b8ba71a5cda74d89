#include "media/program_stream.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <algorithm>
#include <cstdio>
#include <vector>

#include "media/av_log_capture.h"
#include "media/av_sonames.h"
#include "media/loaded_library.h"
#include "media/scaler.h"
#include "media/silent_audio.h"

namespace {

// The program stream's clock, and the video buffer of Main Profile at Main Level in bits.
constexpr int kClock = 90000;
constexpr long long kVbvBufferBits = 1835008;
// A DVD pack carries at least this many bytes of video after its pack and PES headers.
constexpr long long kVideoBytesPerPack = 2000;
constexpr long long kPackBytes = 2048;
// Packs sent before the still's own: the navigation pack and a first audio pack.
constexpr long long kLeadingPacks = 2;
constexpr int kRunInMarginMs = 20;
// A still is far below this; anything larger is not one of ours.
constexpr long kLargestStill = 1 << 20;

struct MuxLibrary {
    decltype(&avformat_alloc_output_context2) allocOutput;
    decltype(&avformat_new_stream) newStream;
    decltype(&av_stream_new_side_data) newSideData;
    decltype(&avio_open) open;
    decltype(&avio_closep) close;
    decltype(&avformat_write_header) writeHeader;
    decltype(&av_interleaved_write_frame) writeFrame;
    decltype(&av_write_trailer) writeTrailer;
    decltype(&avformat_free_context) freeContext;
    decltype(&av_packet_alloc) packetAlloc;
    decltype(&av_packet_free) packetFree;
    decltype(&av_dict_set) dictSet;
    decltype(&av_dict_free) dictFree;
};

void Load(LoadedLibrary<MuxLibrary>* s) {
    void* const avutil = OpenLibrary(kAvutil, &s->error);
    void* const avcodec = avutil != nullptr ? OpenLibrary(kAvcodec, &s->error) : nullptr;
    void* const avformat = avcodec != nullptr ? OpenLibrary(kAvformat, &s->error) : nullptr;
    if (avformat == nullptr) return;
    MuxLibrary& f = s->functions;
    const Binder format{avformat, kAvformat, &s->error};
    const Binder codec{avcodec, kAvcodec, &s->error};
    const Binder util{avutil, kAvutil, &s->error};
    s->loaded =
        format("avformat_alloc_output_context2", &f.allocOutput) &&
        format("avformat_new_stream", &f.newStream) &&
        format("av_stream_new_side_data", &f.newSideData) && format("avio_open", &f.open) &&
        format("avio_closep", &f.close) && format("avformat_write_header", &f.writeHeader) &&
        format("av_interleaved_write_frame", &f.writeFrame) &&
        format("av_write_trailer", &f.writeTrailer) &&
        format("avformat_free_context", &f.freeContext) &&
        codec("av_packet_alloc", &f.packetAlloc) && codec("av_packet_free", &f.packetFree) &&
        util("av_dict_set", &f.dictSet) && util("av_dict_free", &f.dictFree);
}

// One muxing's objects, released however it ends.
struct Muxing {
    explicit Muxing(const MuxLibrary& library) : f(library) {}
    ~Muxing() {
        if (context != nullptr && context->pb != nullptr) f.close(&context->pb);
        if (context != nullptr) f.freeContext(context);
        f.packetFree(&packet);
        f.dictFree(&options);
    }
    Muxing(const Muxing&) = delete;
    Muxing& operator=(const Muxing&) = delete;
    const MuxLibrary& f;
    AVFormatContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVDictionary* options = nullptr;
};

bool ReadStill(const std::string& path, std::vector<uint8_t>* bytes) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    bytes->resize(kLargestStill + 1);
    bytes->resize(std::fread(bytes->data(), 1, bytes->size(), in));
    const bool ok = std::ferror(in) == 0 && !bytes->empty() &&
                    bytes->size() <= static_cast<size_t>(kLargestStill);
    std::fclose(in);
    return ok;
}

long long FileSize(const std::string& path) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return -1;
    const long size = std::fseek(in, 0, SEEK_END) == 0 ? std::ftell(in) : -1;
    std::fclose(in);
    return size;
}

// The video stream, with the buffer the DVD muxer paces the still by, and the silent track.
bool AddStreams(Muxing* m, const ProgramStreamRequest& request) {
    AVStream* video = m->f.newStream(m->context, nullptr);
    if (video == nullptr) return false;
    video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    video->codecpar->codec_id = AV_CODEC_ID_MPEG2VIDEO;
    video->codecpar->width = request.width;
    video->codecpar->height = request.height;
    video->time_base = AVRational{1, kClock};
    auto* cpb = reinterpret_cast<AVCPBProperties*>(
        m->f.newSideData(video, AV_PKT_DATA_CPB_PROPERTIES, sizeof(AVCPBProperties)));
    if (cpb == nullptr) return false;
    cpb->buffer_size = kVbvBufferBits;
    if (!request.silentAudio) return true;
    AVStream* audio = m->f.newStream(m->context, nullptr);
    if (audio == nullptr) return false;
    AVCodecParameters& a = *audio->codecpar;
    a.codec_type = AVMEDIA_TYPE_AUDIO;
    a.codec_id = AV_CODEC_ID_AC3;
    a.sample_rate = kSilenceRate;
    a.bit_rate = kSilenceBitRate;
    a.frame_size = kSilenceFrameSamples;
    a.ch_layout.order = AV_CHANNEL_ORDER_NATIVE;
    a.ch_layout.nb_channels = kSilenceChannels;
    a.ch_layout.u.mask = AV_CH_LAYOUT_STEREO;
    audio->time_base = AVRational{1, kClock};
    return true;
}

// Sends one packet of `stream`, due at `at` and lasting `duration` clock ticks.
bool Send(Muxing* m, int stream, uint8_t* data, size_t size, int64_t at, int64_t duration) {
    AVPacket& p = *m->packet;
    p.data = data;
    p.size = static_cast<int>(size);
    p.stream_index = stream;
    p.pts = p.dts = at;
    p.duration = duration;
    p.flags = AV_PKT_FLAG_KEY;
    return m->f.writeFrame(m->context, m->packet) >= 0;
}

// AC-3 silence lasting at least `frame` ticks, a packet for each AC-3 frame.
std::string SendSilence(Muxing* m, int64_t frame) {
    std::vector<std::vector<uint8_t>> frames;
    const std::string problem = EncodeSilence(frame, &frames);
    if (!problem.empty()) return problem;
    const int64_t ticks = kSilenceFrameSamples * kClock / kSilenceRate;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (!Send(m, 1, frames[i].data(), frames[i].size(), int64_t(i) * ticks, ticks))
            return "the DVD muxer refused the silent audio";
    }
    return "";
}

// A pack's system clock reference, in 27 MHz ticks, from its MPEG-2 pack header.
int64_t ReadScr(const uint8_t* h) {
    const int64_t base = int64_t(h[4] >> 3 & 7) << 30 | int64_t(h[4] & 3) << 28 |
                         int64_t(h[5]) << 20 | int64_t(h[6] >> 3) << 15 | int64_t(h[6] & 3) << 13 |
                         int64_t(h[7]) << 5 | int64_t(h[8] >> 3);
    const int64_t extension = int64_t(h[8] & 3) << 7 | int64_t(h[9] >> 1);
    return base * 300 + extension;
}

void WriteScr(int64_t scr, uint8_t* h) {
    const int64_t base = scr / 300, extension = scr % 300;
    h[4] = uint8_t(0x44 | (base >> 27 & 0x38) | (base >> 28 & 3));
    h[5] = uint8_t(base >> 20);
    h[6] = uint8_t((base >> 12 & 0xF8) | 4 | (base >> 13 & 3));
    h[7] = uint8_t(base >> 5);
    h[8] = uint8_t((base << 3 & 0xF8) | 4 | (extension >> 7 & 3));
    h[9] = uint8_t(extension << 1 | 1);
}

// Ends the stream with a pack of padding that carries the program end code last, its clock one
// pack's time after the last pack's, so that every pack stays whole. False when the stream
// does not end with a whole MPEG-2 pack.
bool EndProgram(const std::string& path) {
    constexpr int kHeaderBytes = 14;
    constexpr int64_t kPackTicks = (kPackBytes * 8 * 27000000 + kDvdMuxRate - 1) / kDvdMuxRate;
    FILE* f = std::fopen(path.c_str(), "r+b");
    if (f == nullptr) return false;
    std::vector<uint8_t> pack(kPackBytes, 0xFF);
    const long size = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
    bool ended = size >= kPackBytes && size % kPackBytes == 0 &&
                 std::fseek(f, size - kPackBytes, SEEK_SET) == 0 &&
                 std::fread(pack.data(), 1, kHeaderBytes, f) == kHeaderBytes && pack[3] == 0xBA &&
                 (pack[4] & 0xC0) == 0x40;
    if (ended) {
        WriteScr(ReadScr(pack.data()) + kPackTicks, pack.data());
        pack[13] = 0xF8;  // no stuffing
        const size_t padding = kPackBytes - kHeaderBytes - 6 - 4;
        const uint8_t packet[6] = {0, 0, 1, 0xBE, uint8_t(padding >> 8), uint8_t(padding & 0xFF)};
        std::copy(packet, packet + 6, pack.begin() + kHeaderBytes);
        const uint8_t endCode[4] = {0x00, 0x00, 0x01, 0xB9};
        std::copy(endCode, endCode + 4, pack.end() - 4);
        ended = std::fseek(f, 0, SEEK_END) == 0 &&
                std::fwrite(pack.data(), 1, pack.size(), f) == pack.size();
    }
    return std::fclose(f) == 0 && ended;
}

std::string Mux(Muxing* m, std::vector<uint8_t>* still, const std::string& psPath,
                const ProgramStreamRequest& request, int runInMs) {
    const MuxLibrary& f = m->f;
    if (f.allocOutput(&m->context, nullptr, "dvd", psPath.c_str()) < 0 || m->context == nullptr)
        return "this libavformat has no DVD muxer";
    m->packet = f.packetAlloc();
    if (m->packet == nullptr || !AddStreams(m, request)) return "the DVD muxer could not be set up";
    if (f.open(&m->context->pb, psPath.c_str(), AVIO_FLAG_WRITE) < 0)
        return "cannot write the program stream in the work folder";
    const std::string preload = std::to_string(runInMs * 1000LL);
    if (f.dictSet(&m->options, "muxrate", std::to_string(kDvdMuxRate).c_str(), 0) < 0 ||
        f.dictSet(&m->options, "preload", preload.c_str(), 0) < 0 ||
        f.writeHeader(m->context, &m->options) < 0)
        return "the DVD muxer refused the still";
    // One frame: 3600 ticks at 25 Hz, 3003 at 30000/1001 Hz.
    const int64_t frame = request.frameRateCode == 4 ? 3003 : 3600;
    if (m->context->streams[0]->time_base.num != 1 ||
        m->context->streams[0]->time_base.den != kClock)
        return "the DVD muxer keeps time in another clock";
    if (!Send(m, 0, still->data(), still->size(), 0, frame))
        return "the DVD muxer refused the still";
    const std::string silence = request.silentAudio ? SendSilence(m, frame) : "";
    if (!silence.empty()) return silence;
    if (f.writeTrailer(m->context) < 0 || f.close(&m->context->pb) < 0)
        return "cannot finish the program stream in the work folder";
    if (!EndProgram(psPath)) return "cannot end the program stream in the work folder";
    return "";
}

}  // namespace

int RunInMs(long long esBytes) {
    const long long packs = (esBytes + kVideoBytesPerPack - 1) / kVideoBytesPerPack + kLeadingPacks;
    const long long bits = packs * kPackBytes * 8;
    return static_cast<int>((bits * 1000 + kDvdMuxRate - 1) / kDvdMuxRate) + kRunInMarginMs;
}

std::string WriteProgramStream(const std::string& esPath, const std::string& psPath,
                               const ProgramStreamRequest& request, ProgramStreamFacts* facts) {
    std::string error;
    const ScalerLibrary* util = Scaler(&error);
    const MuxLibrary* library = util != nullptr ? LoadOnce<MuxLibrary, Load>(&error) : nullptr;
    if (library == nullptr) return "cannot make a DVD program stream: " + error;
    std::vector<uint8_t> still;
    if (!ReadStill(esPath, &still)) return "cannot read the coded still for the program stream";
    facts->runInMs = RunInMs(static_cast<long long>(still.size()));
    std::string problem;
    std::string said;
    {
        AvLogCapture capture(*util);
        {
            Muxing muxing(*library);
            problem = Mux(&muxing, &still, psPath, request, facts->runInMs);
        }
        said = capture.text();
    }
    if (!said.empty()) problem = (problem.empty() ? "the DVD muxer warned" : problem) + ": " + said;
    while (!problem.empty() && problem.back() == '\n') problem.pop_back();
    facts->bytes = FileSize(psPath);
    if (problem.empty() && facts->bytes <= 0) problem = "the program stream came out empty";
    return problem;
}
