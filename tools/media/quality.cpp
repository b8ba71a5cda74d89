#include "media/quality.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/video_enc_params.h>
#include <libswscale/swscale.h>
}

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "media/av_log_capture.h"

namespace {

// A still-picture stream is at most 1,800,000 bits; anything far larger is not one.
constexpr long kMaxStreamBytes = 64L << 20;

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    long size = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
    bool ok = size >= 0 && size <= kMaxStreamBytes && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes->resize(static_cast<size_t>(size));
        ok = std::fread(bytes->data(), 1, bytes->size(), f) == bytes->size();
    }
    std::fclose(f);
    if (!ok) *error = "cannot read " + path + (size > kMaxStreamBytes ? ": too large" : "");
    return ok;
}

struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
    void operator()(AVPacket* p) const { av_packet_free(&p); }
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
template <typename T>
using Owned = std::unique_ptr<T, CodecDeleter>;

void Widen(QuantiserRange* range, int scale) {
    if (scale <= 0) return;
    if (!range->known || scale < range->min) range->min = scale;
    if (!range->known || scale > range->max) range->max = scale;
    range->known = true;
}

// The per-macroblock quantisers the decoder exports (quantiser_scale of each
// macroblock that lies in the picture).
QuantiserRange ExportedQuantisers(const AVFrame* frame) {
    QuantiserRange range;
    const AVFrameSideData* side = av_frame_get_side_data(frame, AV_FRAME_DATA_VIDEO_ENC_PARAMS);
    if (side == nullptr || side->size < sizeof(AVVideoEncParams)) return range;
    AVVideoEncParams* params = reinterpret_cast<AVVideoEncParams*>(side->data);
    if (params->type != AV_VIDEO_ENC_PARAMS_MPEG2) return range;
    if (params->nb_blocks > 0 &&
        params->blocks_offset + uint64_t{params->nb_blocks} * params->block_size > side->size)
        return range;
    for (unsigned i = 0; i < params->nb_blocks; ++i) {
        const AVVideoBlockParams* b = av_video_enc_params_block(params, i);
        if (b->src_x < 0 || b->src_y < 0 || b->src_x >= frame->width || b->src_y >= frame->height)
            continue;
        Widen(&range, params->qp + b->delta_qp);
    }
    range.perMacroblock = range.known;
    return range;
}

bool CopyPlanes(const AVFrame* frame, YuvPlanes* out) {
    if (frame->format != AV_PIX_FMT_YUV420P || frame->width <= 0 || frame->height <= 0 ||
        frame->width % 2 != 0 || frame->height % 2 != 0)
        return false;
    const int w = frame->width, h = frame->height;
    out->width = w;
    out->height = h;
    out->y.resize(size_t(w) * h);
    out->cb.resize(size_t(w / 2) * (h / 2));
    out->cr.resize(size_t(w / 2) * (h / 2));
    for (int r = 0; r < h; ++r)
        std::memcpy(&out->y[size_t(r) * w], frame->data[0] + r * frame->linesize[0], size_t(w));
    for (int r = 0; r < h / 2; ++r) {
        std::memcpy(&out->cb[size_t(r) * (w / 2)], frame->data[1] + r * frame->linesize[1],
                    size_t(w / 2));
        std::memcpy(&out->cr[size_t(r) * (w / 2)], frame->data[2] + r * frame->linesize[2],
                    size_t(w / 2));
    }
    return true;
}

// Sends one packet (null: drain) and keeps the first picture that comes out.
bool Feed(AVCodecContext* codec, const AVPacket* packet, AVFrame* frame, DecodedStream* out) {
    if (avcodec_send_packet(codec, packet) < 0 && packet != nullptr) return false;
    while (avcodec_receive_frame(codec, frame) == 0) {
        if (out->frames++ == 0) {
            if (!CopyPlanes(frame, &out->picture)) return false;
            out->quantiser = ExportedQuantisers(frame);
        }
        av_frame_unref(frame);
    }
    return true;
}

}  // namespace

bool DecodeMpeg2Stream(const std::string& streamPath, DecodedStream* out, std::string* error) {
    *out = DecodedStream{};
    std::vector<uint8_t> stream;
    if (!ReadWholeFile(streamPath, &stream, error)) return false;
    // The parser reads a few bytes past the end of its input.
    const size_t length = stream.size();
    stream.resize(length + AV_INPUT_BUFFER_PADDING_SIZE, 0);

    AvLogCapture log;
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO);
    Owned<AVCodecContext> codec(decoder != nullptr ? avcodec_alloc_context3(decoder) : nullptr);
    Owned<AVCodecParserContext> parser(av_parser_init(AV_CODEC_ID_MPEG2VIDEO));
    Owned<AVPacket> packet(av_packet_alloc());
    Owned<AVFrame> frame(av_frame_alloc());
    if (!codec || !parser || !packet || !frame) {
        *error = "libavcodec has no MPEG-2 video decoder";
        return false;
    }
    codec->thread_count = 1;
    codec->export_side_data |= AV_CODEC_EXPORT_DATA_VIDEO_ENC_PARAMS;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        *error = "the MPEG-2 video decoder cannot be opened";
        return false;
    }
    bool ok = true;
    const uint8_t* data = stream.data();
    size_t left = length;
    // An empty input flushes the parser's last packet.
    for (bool flushed = false; ok && !flushed;) {
        flushed = left == 0;
        uint8_t* packetData = nullptr;
        int packetSize = 0;
        const int used =
            av_parser_parse2(parser.get(), codec.get(), &packetData, &packetSize, data,
                             static_cast<int>(left), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0 || (used == 0 && packetSize == 0 && !flushed)) break;
        data += used;
        left -= static_cast<size_t>(used);
        if (packetSize > 0) {
            packet->data = packetData;
            packet->size = packetSize;
            ok = Feed(codec.get(), packet.get(), frame.get(), out);
        }
    }
    if (ok) ok = Feed(codec.get(), nullptr, frame.get(), out);
    out->decoderMessages = log.text();
    if (!ok || out->frames == 0) {
        *error =
            "the stream does not decode" + (log.text().empty() ? std::string() : ": " + log.text());
        while (!error->empty() && error->back() == '\n') error->pop_back();
        return false;
    }
    if (!out->quantiser.known) out->quantiser = SliceHeaderQuantisers(stream);
    return true;
}

QuantiserRange SliceHeaderQuantisers(const std::vector<uint8_t>& stream) {
    static const int kNonLinear[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10, 12,
                                       14, 16, 18, 20, 22, 24, 28, 32, 36,  40, 44,
                                       48, 52, 56, 64, 72, 80, 88, 96, 104, 112};
    QuantiserRange range;
    bool nonLinear = false;
    for (size_t i = 0; i + 4 < stream.size(); ++i) {
        if (stream[i] != 0 || stream[i + 1] != 0 || stream[i + 2] != 1) continue;
        const uint8_t code = stream[i + 3];
        // Picture coding extension: q_scale_type is bit 3 of its fourth byte.
        if (code == 0xB5 && i + 8 < stream.size() && (stream[i + 4] >> 4) == 8)
            nonLinear = (stream[i + 7] & 0x10) != 0;
        if (code >= 0x01 && code <= 0xAF) {
            const int scaleCode = stream[i + 4] >> 3;
            Widen(&range, nonLinear ? kNonLinear[scaleCode] : 2 * scaleCode);
        }
    }
    return range;
}

double PlanePsnr(const uint8_t* a, const uint8_t* b, size_t count) {
    uint64_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        const int d = int(a[i]) - int(b[i]);
        sum += uint64_t(d * d);
    }
    if (sum == 0 || count == 0) return kPsnrOfIdenticalPlanes;
    const double mse = double(sum) / double(count);
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

double PlaneSsim(const uint8_t* a, const uint8_t* b, int width, int height) {
    const int bw = width / 4, bh = height / 4;
    if (bw < 2 || bh < 2)
        return PlanePsnr(a, b, size_t(width) * height) == kPsnrOfIdenticalPlanes ? 1.0 : 0.0;
    // Sums over every 4x4 block: a, b, a^2 + b^2, a b.
    struct Sums {
        int64_t s1 = 0, s2 = 0, ss = 0, s12 = 0;
    };
    std::vector<Sums> blocks(size_t(bw) * bh);
    for (int by = 0; by < bh; ++by) {
        for (int bx = 0; bx < bw; ++bx) {
            Sums& s = blocks[size_t(by) * bw + bx];
            for (int y = 0; y < 4; ++y) {
                for (int x = 0; x < 4; ++x) {
                    const size_t at = size_t(by * 4 + y) * width + size_t(bx * 4 + x);
                    const int64_t p = a[at], q = b[at];
                    s.s1 += p;
                    s.s2 += q;
                    s.ss += p * p + q * q;
                    s.s12 += p * q;
                }
            }
        }
    }
    const double c1 = 0.01 * 0.01 * 255 * 255 * 64;
    const double c2 = 0.03 * 0.03 * 255 * 255 * 64 * 63;
    double total = 0;
    for (int by = 0; by + 1 < bh; ++by) {
        for (int bx = 0; bx + 1 < bw; ++bx) {
            Sums w;
            for (int k = 0; k < 4; ++k) {
                const Sums& s = blocks[size_t(by + k / 2) * bw + size_t(bx + k % 2)];
                w.s1 += s.s1;
                w.s2 += s.s2;
                w.ss += s.ss;
                w.s12 += s.s12;
            }
            const double s1 = double(w.s1), s2 = double(w.s2);
            const double vars = double(w.ss) * 64 - s1 * s1 - s2 * s2;
            const double covar = double(w.s12) * 64 - s1 * s2;
            total +=
                (2 * s1 * s2 + c1) * (2 * covar + c2) / ((s1 * s1 + s2 * s2 + c1) * (vars + c2));
        }
    }
    return total / (double(bw - 1) * double(bh - 1));
}

bool ComparePlanes(const YuvPlanes& reference, const YuvPlanes& decoded, QualityReport* report,
                   std::string* error) {
    const size_t luma = size_t(reference.width) * size_t(reference.height);
    const size_t chroma = size_t(reference.width / 2) * size_t(reference.height / 2);
    const auto complete = [&](const YuvPlanes& p) {
        return p.y.size() == luma && p.cb.size() == chroma && p.cr.size() == chroma;
    };
    if (reference.width != decoded.width || reference.height != decoded.height ||
        !complete(reference) || !complete(decoded) || luma == 0) {
        *error = "the decoded picture is " + std::to_string(decoded.width) + "x" +
                 std::to_string(decoded.height) + ", the coded one " +
                 std::to_string(reference.width) + "x" + std::to_string(reference.height);
        return false;
    }
    report->psnrY = PlanePsnr(reference.y.data(), decoded.y.data(), luma);
    report->psnrCb = PlanePsnr(reference.cb.data(), decoded.cb.data(), chroma);
    report->psnrCr = PlanePsnr(reference.cr.data(), decoded.cr.data(), chroma);
    report->psnrAverage = (6 * report->psnrY + report->psnrCb + report->psnrCr) / 8;
    report->ssimY =
        PlaneSsim(reference.y.data(), decoded.y.data(), reference.width, reference.height);
    return true;
}

bool WritePreviewPng(const std::string& path, const YuvPlanes& decoded, std::string* error) {
    const int w = decoded.width, h = decoded.height;
    if (w <= 0 || h <= 0 || w % 2 != 0 || h % 2 != 0 || decoded.y.size() != size_t(w) * h ||
        decoded.cb.size() != size_t(w / 2) * (h / 2) || decoded.cr.size() != decoded.cb.size()) {
        *error = "no decoded picture to preview";
        return false;
    }
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    {
        AvLogCapture log;
        SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_RGB24,
                                         SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                         nullptr, nullptr, nullptr);
        if (sws == nullptr) {
            *error = "libswscale cannot convert the picture to RGB";
            return false;
        }
        const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(sws, bt601, 0, bt601, 1, 0, 1 << 16, 1 << 16);
        const uint8_t* in[4] = {decoded.y.data(), decoded.cb.data(), decoded.cr.data(), nullptr};
        const int inStride[4] = {w, w / 2, w / 2, 0};
        uint8_t* out[4] = {rgb.data(), nullptr, nullptr, nullptr};
        const int outStride[4] = {w * 3, 0, 0, 0};
        const int rows = sws_scale(sws, in, inStride, 0, h, out, outStride);
        sws_freeContext(sws);
        if (rows != h) {
            *error = "libswscale failed to convert the picture to RGB";
            return false;
        }
    }
    // Written beside the target and renamed over it, so a failure leaves nothing.
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        *error = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    const mode_t mask = umask(022);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    FILE* file = fdopen(fd, "wb");
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = PNG_FORMAT_RGB;
    bool ok = file != nullptr &&
              png_image_write_to_stdio(&image, file, 0, rgb.data(), w * 3, nullptr) != 0;
    const std::string message = image.message;
    png_image_free(&image);
    if (file != nullptr) {
        ok = std::fclose(file) == 0 && ok;
    } else {
        ::close(fd);
    }
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        *error = "cannot write " + path + (message.empty() ? "" : ": " + message);
        return false;
    }
    return true;
}
