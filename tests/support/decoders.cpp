#include "support/decoders.h"

#include <cmath>
#include <cstdio>
#include <regex>

#include "support/files.h"

namespace {

// mpeg2dec's PGM: Y rows, then per chroma row the Cb half and the Cr half side by side.
bool ParseMpeg2decPgm(const std::vector<uint8_t>& data, DecodedPicture* picture) {
    int width = 0, totalHeight = 0, maxValue = 0, consumed = 0;
    if (data.size() < 16) return false;
    std::string head(reinterpret_cast<const char*>(data.data()),
                     32 < data.size() ? 32 : data.size());
    if (std::sscanf(head.c_str(), "P5 %d %d %d%n", &width, &totalHeight, &maxValue, &consumed) != 3)
        return false;
    size_t offset = static_cast<size_t>(consumed) + 1;
    int height = totalHeight * 2 / 3;
    if (data.size() < offset + static_cast<size_t>(width) * totalHeight) return false;
    picture->width = width;
    picture->height = height;
    const uint8_t* p = data.data() + offset;
    picture->y.assign(p, p + static_cast<size_t>(width) * height);
    picture->cb.clear();
    picture->cr.clear();
    for (int row = 0; row < height / 2; ++row) {
        const uint8_t* line = p + static_cast<size_t>(width) * (height + row);
        picture->cb.insert(picture->cb.end(), line, line + width / 2);
        picture->cr.insert(picture->cr.end(), line + width / 2, line + width);
    }
    return true;
}

}  // namespace

DecoderVerdict DecodeStream(const std::string& streamPath, int width, int height) {
    DecoderVerdict verdict;
    TempDir dir;
    std::string yuv = dir / "ffmpeg.yuv";
    std::string command = "ffmpeg -nostdin -v error -f mpegvideo -i '" + streamPath +
                          "' -f rawvideo -pix_fmt yuv420p -y '" + yuv + "' 2>&1";
    verdict.ffmpegStatus = RunCommand(command, &verdict.ffmpegMessages);
    std::vector<uint8_t> raw = ReadFileBytes(yuv);
    size_t lumaSize = static_cast<size_t>(width) * height;
    if (raw.size() >= lumaSize * 3 / 2) {
        verdict.ffmpeg.width = width;
        verdict.ffmpeg.height = height;
        verdict.ffmpeg.y.assign(raw.begin(), raw.begin() + lumaSize);
        verdict.ffmpeg.cb.assign(raw.begin() + lumaSize, raw.begin() + lumaSize * 5 / 4);
        verdict.ffmpeg.cr.assign(raw.begin() + lumaSize * 5 / 4, raw.begin() + lumaSize * 3 / 2);
    }

    std::string pgm = dir / "mpeg2dec.pgm";
    std::string log;
    command = "mpeg2dec -o pgmpipe '" + streamPath + "' 2>&1 >'" + pgm + "'";
    verdict.mpeg2decStatus = RunCommand(command, &log);
    std::smatch frames;
    if (std::regex_search(log, frames, std::regex("([0-9]+) frames decoded")))
        verdict.mpeg2decFrames = std::stoi(frames[1]);
    ParseMpeg2decPgm(ReadFileBytes(pgm), &verdict.mpeg2dec);
    return verdict;
}

double Psnr(const uint8_t* a, const uint8_t* b, size_t count) {
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i) {
        double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        sum += d * d;
    }
    if (sum == 0.0 || count == 0) return 99.0;
    double mse = sum / static_cast<double>(count);
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::string DecoderProblems(const DecoderVerdict& v, int width, int height) {
    std::string problems;
    if (v.ffmpegStatus != 0)
        problems += "ffmpeg exit status " + std::to_string(v.ffmpegStatus) + "; ";
    if (!v.ffmpegMessages.empty()) problems += "ffmpeg said: " + v.ffmpegMessages + "; ";
    if (v.ffmpeg.width != width || v.ffmpeg.height != height)
        problems += "ffmpeg gave no picture; ";
    if (v.mpeg2decStatus != 0)
        problems += "mpeg2dec exit status " + std::to_string(v.mpeg2decStatus) + "; ";
    if (v.mpeg2decFrames != 1)
        problems += "mpeg2dec decoded " + std::to_string(v.mpeg2decFrames) + " frames; ";
    if (v.mpeg2dec.width != width || v.mpeg2dec.height != height) {
        problems += "mpeg2dec gave no " + std::to_string(width) + "x" + std::to_string(height) +
                    " picture; ";
    } else if (problems.empty() && (v.mpeg2dec.y != v.ffmpeg.y || v.mpeg2dec.cb != v.ffmpeg.cb ||
                                    v.mpeg2dec.cr != v.ffmpeg.cr)) {
        // Both use an IEEE-accurate inverse DCT; they may differ by a unit on rare samples.
        double psnr = Psnr(v.mpeg2dec.y.data(), v.ffmpeg.y.data(), v.ffmpeg.y.size());
        if (psnr < 50.0)
            problems += "the two decoders disagree (luma PSNR " + std::to_string(psnr) + "); ";
    }
    return problems;
}
