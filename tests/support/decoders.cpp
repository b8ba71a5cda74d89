#include "support/decoders.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <regex>

#include "support/files.h"

namespace {

// PGM of a 4:2:0 picture as ffmpeg's pgmyuv and mpeg2dec write it: Y rows, then per chroma row
// the Cb half and the Cr half side by side.
DecodedPicture ParsePgmYuv(const std::vector<uint8_t>& data) {
    DecodedPicture picture;
    int width = 0, totalHeight = 0, maxValue = 0, consumed = 0;
    const std::string head(data.begin(), data.begin() + std::min<size_t>(data.size(), 32));
    if (std::sscanf(head.c_str(), "P5 %d %d %d%n", &width, &totalHeight, &maxValue, &consumed) != 3)
        return picture;
    const size_t offset = static_cast<size_t>(consumed) + 1;
    const int height = totalHeight * 2 / 3;
    if (data.size() < offset + static_cast<size_t>(width) * totalHeight) return picture;
    picture.width = width;
    picture.height = height;
    const uint8_t* p = data.data() + offset;
    picture.y.assign(p, p + static_cast<size_t>(width) * height);
    for (int row = 0; row < height / 2; ++row) {
        const uint8_t* line = p + static_cast<size_t>(width) * (height + row);
        picture.cb.insert(picture.cb.end(), line, line + width / 2);
        picture.cr.insert(picture.cr.end(), line + width / 2, line + width);
    }
    return picture;
}

}  // namespace

// The pictures have the size their stream gives; DecoderProblems compares it with the caller's.
DecoderVerdict DecodeStream(const std::string& streamPath, int, int) {
    DecoderVerdict verdict;
    TempDir dir;
    std::string command = "ffmpeg -nostdin -v error -f mpegvideo -i '" + streamPath +
                          "' -c:v pgmyuv -f image2pipe -y '" + (dir / "ffmpeg.pgm") + "' 2>&1";
    verdict.ffmpegStatus = RunCommand(command, &verdict.ffmpegMessages);
    verdict.ffmpeg = ParsePgmYuv(ReadFileBytes(dir / "ffmpeg.pgm"));

    std::string log;
    command = "mpeg2dec -o pgmpipe '" + streamPath + "' 2>&1 >'" + (dir / "mpeg2dec.pgm") + "'";
    verdict.mpeg2decStatus = RunCommand(command, &log);
    std::smatch frames;
    if (std::regex_search(log, frames, std::regex("([0-9]+) frames decoded")))
        verdict.mpeg2decFrames = std::stoi(frames[1]);
    verdict.mpeg2dec = ParsePgmYuv(ReadFileBytes(dir / "mpeg2dec.pgm"));
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
    auto note = [&problems](bool fault, const std::string& text) {
        if (fault) problems += text + "; ";
    };
    const std::string picture = std::to_string(width) + "x" + std::to_string(height) + " picture";
    note(v.ffmpegStatus != 0, "ffmpeg exit status " + std::to_string(v.ffmpegStatus));
    note(!v.ffmpegMessages.empty(), "ffmpeg said: " + v.ffmpegMessages);
    note(v.ffmpeg.width != width || v.ffmpeg.height != height, "ffmpeg gave no " + picture);
    note(v.mpeg2decStatus != 0, "mpeg2dec exit status " + std::to_string(v.mpeg2decStatus));
    note(v.mpeg2decFrames != 1, "mpeg2dec decoded " + std::to_string(v.mpeg2decFrames) + " frames");
    note(v.mpeg2dec.width != width || v.mpeg2dec.height != height, "mpeg2dec gave no " + picture);
    if (problems.empty() && (v.mpeg2dec.y != v.ffmpeg.y || v.mpeg2dec.cb != v.ffmpeg.cb ||
                             v.mpeg2dec.cr != v.ffmpeg.cr)) {
        // Both use an IEEE-accurate inverse DCT; they may differ by a unit on rare samples.
        double psnr = Psnr(v.mpeg2dec.y.data(), v.ffmpeg.y.data(), v.ffmpeg.y.size());
        note(psnr < 50.0, "the two decoders disagree (luma PSNR " + std::to_string(psnr) + ")");
    }
    return problems;
}
