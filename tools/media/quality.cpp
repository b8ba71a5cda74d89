#include "media/quality.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/av_log_capture.h"
#include "media/measure_libraries.h"
#include "media/safe_area.h"
#include "media/scaler.h"

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

void Widen(QuantiserRange* range, int scale) {
    if (scale <= 0) return;
    if (!range->known || scale < range->min) range->min = scale;
    if (!range->known || scale > range->max) range->max = scale;
    range->known = true;
}

// Slices start at most at macroblock row 175 without the vertical position extension.
constexpr int kLastSliceCode = 0xAF;

// The slice headers: the quantiser range (each slice's quantiser_scale_code mapped through
// q_scale_type of the picture coding extension) and, when the first picture is coded as a
// frame, a line if some of its macroblock rows start no slice (a cut stream).
std::string ReadSliceHeaders(const std::vector<uint8_t>& stream, QuantiserRange* range) {
    static const int kNonLinear[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10, 12,
                                       14, 16, 18, 20, 22, 24, 28, 32, 36,  40, 44,
                                       48, 52, 56, 64, 72, 80, 88, 96, 104, 112};
    bool nonLinear = false, frame = true;
    int rows = 0, pictures = 0;
    bool started[kLastSliceCode + 1] = {};  // by slice code: row + 1
    for (size_t i = 0; i + 4 < stream.size(); ++i) {
        if (stream[i] != 0 || stream[i + 1] != 0 || stream[i + 2] != 1) continue;
        const uint8_t code = stream[i + 3];
        if (code == 0xB3 && rows == 0 && i + 6 < stream.size())
            rows = (((stream[i + 5] & 15) << 8 | stream[i + 6]) + 15) / 16;
        if (code == 0x00) ++pictures;
        // Picture coding extension: picture_structure ends its third byte, q_scale_type is
        // bit 3 of its fourth.
        if (code == 0xB5 && i + 8 < stream.size() && (stream[i + 4] >> 4) == 8) {
            nonLinear = (stream[i + 7] & 0x10) != 0;
            if (pictures == 1) frame = (stream[i + 6] & 3) == 3;
        }
        if (code >= 0x01 && code <= kLastSliceCode) {
            Widen(range, nonLinear ? kNonLinear[stream[i + 4] >> 3] : 2 * (stream[i + 4] >> 3));
            if (pictures == 1) started[code] = true;
        }
    }
    if (pictures == 0 || !frame || rows == 0 || rows > kLastSliceCode) return "";
    int covered = 0;
    for (int code = 1; code <= rows; ++code) covered += started[code] ? 1 : 0;
    if (covered == rows) return "";
    return "slices start " + std::to_string(covered) + " of the first picture's " +
           std::to_string(rows) + " macroblock rows\n";
}

struct DecoderCloser {
    const Mpeg2Library* m;
    void operator()(mpeg2dec_t* decoder) const { m->Close(decoder); }
};

// The picture on display, when its sequence is 4:2:0 and its size even.
bool CopyPlanes(const mpeg2_info_t& info, YuvPlanes* out) {
    const mpeg2_sequence_t& s = *info.sequence;
    const int w = static_cast<int>(s.picture_width), h = static_cast<int>(s.picture_height);
    if (s.chroma_width * 2 != s.width || s.chroma_height * 2 != s.height || w <= 0 || h <= 0 ||
        w % 2 != 0 || h % 2 != 0)
        return false;
    const uint8_t* const* planes = info.display_fbuf->buf;
    out->width = w;
    out->height = h;
    out->y.resize(size_t(w) * h);
    out->cb.resize(size_t(w / 2) * (h / 2));
    out->cr.resize(size_t(w / 2) * (h / 2));
    for (int r = 0; r < h; ++r)
        std::memcpy(&out->y[size_t(r) * w], planes[0] + size_t(r) * s.width, size_t(w));
    for (int r = 0; r < h / 2; ++r) {
        std::memcpy(&out->cb[size_t(r) * (w / 2)], planes[1] + size_t(r) * s.chroma_width,
                    size_t(w / 2));
        std::memcpy(&out->cr[size_t(r) * (w / 2)], planes[2] + size_t(r) * s.chroma_width,
                    size_t(w / 2));
    }
    return true;
}

// Where libmpeg2 found data it cannot read: how often, and before which byte the first time.
struct InvalidData {
    size_t count = 0;
    size_t firstBefore = 0;
};

// Feeds the stream to the decoder, counting the frames it shows and copying the first.
// False when that picture is not 4:2:0 of an even size in the stream's first sequence.
bool DecodeFrames(const Mpeg2Library& m, mpeg2dec_t* decoder, std::vector<uint8_t>* stream,
                  DecodedStream* out, InvalidData* invalid) {
    const mpeg2_info_t* info = m.Info(decoder);
    // A sequence end code after the stream finishes its last picture even when the stream
    // lacks one; after the stream's own it changes nothing.
    uint8_t endCode[4] = {0, 0, 1, 0xB7};
    uint8_t* const input[2][2] = {{stream->data(), stream->data() + stream->size()},
                                  {endCode, endCode + sizeof endCode}};
    size_t fed = 0;
    int sequences = 0;
    std::vector<const mpeg2_fbuf_t*> filled;  // frames a picture was decoded into
    bool ok = true;
    while (ok) {
        const mpeg2_state_t state = m.Parse(decoder);
        if (state == STATE_BUFFER) {
            if (fed == 2) break;
            m.Buffer(decoder, input[fed][0], input[fed][1]);
            ++fed;
            continue;
        }
        if (state == STATE_SEQUENCE || state == STATE_SEQUENCE_MODIFIED) ++sequences;
        if (state == STATE_PICTURE &&
            std::find(filled.begin(), filled.end(), info->current_fbuf) == filled.end())
            filled.push_back(info->current_fbuf);
        if (state == STATE_INVALID || state == STATE_INVALID_END) {
            // The invalid data lies before the start code where libmpeg2 stands.
            const size_t left = fed == 1 ? size_t(m.GetPos(decoder)) : 0;
            if (invalid->count++ == 0) invalid->firstBefore = stream->size() - left;
        }
        const bool pictureDone =
            state == STATE_SLICE || state == STATE_END || state == STATE_INVALID_END;
        const mpeg2_fbuf_t* shown = pictureDone ? info->display_fbuf : nullptr;
        // After damaged headers libmpeg2 may show a frame that holds no picture.
        if (shown == nullptr || std::find(filled.begin(), filled.end(), shown) == filled.end())
            continue;
        // Frames are the size of the sequence they were decoded in: the first picture's
        // is the current one only while no other has come.
        if (out->frames++ == 0) ok = sequences == 1 && CopyPlanes(*info, &out->picture);
    }
    return ok;
}

// libmpeg2 sets its process-wide tables at its first decoder's start: decoders start one at a
// time, as measurements run on several threads.
mpeg2dec_t* StartDecoder(const Mpeg2Library& m) {
    static std::mutex starting;
    std::lock_guard<std::mutex> lock(starting);
    return m.Init();
}

}  // namespace

bool DecodeMpeg2Stream(const std::string& streamPath, DecodedStream* out, std::string* error) {
    *out = DecodedStream{};
    std::vector<uint8_t> stream;
    if (!ReadWholeFile(streamPath, &stream, error)) return false;
    const Mpeg2Library* m = LibMpeg2(error);
    if (m == nullptr) return false;
    std::unique_ptr<mpeg2dec_t, DecoderCloser> decoder(StartDecoder(*m), DecoderCloser{m});
    if (!decoder) {
        *error = "libmpeg2 cannot start a decoder";
        return false;
    }
    InvalidData invalid;
    const bool ok = DecodeFrames(*m, decoder.get(), &stream, out, &invalid);
    if (invalid.count > 0) {
        const std::string later =
            invalid.count > 1 ? " and at " + std::to_string(invalid.count - 1) + " later places"
                              : "";
        out->decoderMessages = "libmpeg2: invalid data before byte " +
                               std::to_string(invalid.firstBefore) + later + "\n";
    }
    out->decoderMessages += ReadSliceHeaders(stream, &out->quantiser);
    if (!ok) {
        *error = "the stream's first picture is not 4:2:0 of an even size in its first sequence";
        return false;
    }
    if (out->frames == 0) {
        *error = "the stream does not decode" +
                 (out->decoderMessages.empty() ? std::string() : ": " + out->decoderMessages);
        while (!error->empty() && error->back() == '\n') error->pop_back();
        return false;
    }
    return true;
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

namespace {

// The decoded planes as 8-bit RGB, by the colours of ITU-R BT.601 at video levels.
bool PreviewRgb(const YuvPlanes& decoded, std::vector<uint8_t>* rgb, std::string* error) {
    const ScalerLibrary* library = Scaler(error);
    if (library == nullptr) return false;
    const int w = decoded.width, h = decoded.height;
    rgb->resize(size_t(w) * h * 3);
    AvLogCapture log(*library);
    SwsContext* sws = library->getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_RGB24,
                                          SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                          nullptr, nullptr, nullptr);
    if (sws == nullptr) {
        *error = "libswscale cannot convert the picture to RGB";
        return false;
    }
    const int* bt601 = library->getCoefficients(SWS_CS_ITU601);
    library->setColorspaceDetails(sws, bt601, 0, bt601, 1, 0, 1 << 16, 1 << 16);
    const uint8_t* in[4] = {decoded.y.data(), decoded.cb.data(), decoded.cr.data(), nullptr};
    const int inStride[4] = {w, w / 2, w / 2, 0};
    uint8_t* out[4] = {rgb->data(), nullptr, nullptr, nullptr};
    const int outStride[4] = {w * 3, 0, 0, 0};
    const int rows = library->scale(sws, in, inStride, 0, h, out, outStride);
    library->freeContext(sws);
    if (rows != h) {
        *error = "libswscale failed to convert the picture to RGB";
        return false;
    }
    return true;
}

// Written beside the target and renamed over it, so a failure leaves nothing.
bool WriteRgbPng(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb,
                 std::string* error) {
    const PngLibrary* png = LibPng(error);
    if (png == nullptr) return false;
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
    bool ok =
        file != nullptr && png->WriteToStdio(&image, file, 0, rgb.data(), w * 3, nullptr) != 0;
    const std::string message = image.message;
    png->Free(&image);
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

}  // namespace

bool WritePreviewPng(const std::string& path, const YuvPlanes& decoded, std::string* error,
                     bool safeArea) {
    const int w = decoded.width, h = decoded.height;
    if (w <= 0 || h <= 0 || w % 2 != 0 || h % 2 != 0 || decoded.y.size() != size_t(w) * h ||
        decoded.cb.size() != size_t(w / 2) * (h / 2) || decoded.cr.size() != decoded.cb.size()) {
        *error = "no decoded picture to preview";
        return false;
    }
    std::vector<uint8_t> rgb;
    if (!PreviewRgb(decoded, &rgb, error)) return false;
    if (safeArea) DrawSafeAreas(w, h, &rgb);
    return WriteRgbPng(path, w, h, rgb, error);
}
