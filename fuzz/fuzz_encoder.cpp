// A valid picture whose size, pixels, target and switches come from the input:
//   byte 0     picture size (252-255: the full-size frames; others: small ones)
//   byte 1     bit 0 extended analysis, bit 1 progressive still, bits 2-3 level mode,
//              bit 4 16:9 and bit 5 pan-scan (full-size frames only), bit 6 big-endian file
//   bytes 2-5  TARGET_SIZE, any int32 (little-endian)
//   bytes 6-7  PAN_SCAN_VECTOR, int16 (little-endian)
//   byte 8     how the pixels are made from the rest: tiled, noise, tiled ^ noise, flat blocks
//   the rest   pixel bytes
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "guarded_job.h"

namespace {

struct Size {
    int width;
    int height;
};

// Small pictures keep the fuzzer fast; every accepted width and height is among them.
const Size kSmall[] = {{96, 64},   {96, 80},   {96, 112},  {96, 144}, {176, 64}, {176, 144},
                       {176, 112}, {96, 240},  {96, 288},  {352, 64}, {720, 64}, {704, 80},
                       {96, 64},   {352, 240}, {176, 288}, {352, 288}};
const Size kFull[] = {{704, 480}, {704, 576}, {720, 480}, {720, 576}};

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Le(int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(Byte()) << (8 * i);
        return v;
    }
    const uint8_t* Rest() const { return data_ + at_; }
    size_t RestSize() const { return size_ - at_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

uint32_t Seed(const uint8_t* data, size_t size) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    return h != 0 ? h : 1;
}

std::vector<uint8_t> Pixels(int width, int height, int mode, const uint8_t* rest, size_t n) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    uint32_t noise = Seed(rest, n);
    auto next = [&noise] {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        return static_cast<uint8_t>(noise);
    };
    const int mbPerRow = width / 16;
    for (size_t i = 0; i < rgb.size(); ++i) {
        uint8_t tiled = n > 0 ? rest[i % n] : 0;
        switch (mode) {
            case 0:
                rgb[i] = tiled;
                break;
            case 1:
                rgb[i] = next();
                break;
            case 2:
                rgb[i] = tiled ^ next();
                break;
            default: {
                size_t pixel = i / 3;
                int x = static_cast<int>(pixel % width);
                int y = static_cast<int>(pixel / width);
                size_t mb = static_cast<size_t>(y / 16) * mbPerRow + x / 16;
                rgb[i] = n > 0 ? rest[(mb * 3 + i % 3) % n] : 0;
            }
        }
    }
    return rgb;
}

bool NtscHeight(int height) {
    return height == 64 || height == 112 || height == 240 || height == 480;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    uint8_t sizeByte = in.Byte();
    uint8_t flags = in.Byte();
    int32_t target = static_cast<int32_t>(in.Le(4));
    int16_t vector = static_cast<int16_t>(in.Le(2));
    int mode = in.Byte() % 4;

    bool full = sizeByte >= 252;
    Size picture = full ? kFull[sizeByte - 252] : kSmall[sizeByte % 16];
    bool wide = full && (flags & 0x10) != 0;
    bool panScan = wide && (flags & 0x20) != 0;
    bool bigEndian = (flags & 0x40) != 0;

    const std::string& dir = fuzz::ScratchDir();
    std::vector<uint8_t> rgb =
        Pixels(picture.width, picture.height, mode, in.Rest(), in.RestSize());
    TiffOptions order;
    order.bigEndian = bigEndian;
    WriteFileBytes(dir + "/still/pic.tif", MakeRgbTiff(picture.width, picture.height, rgb, order));

    std::string jobText = "SOURCE_FILE pic.tif\n";
    jobText += "TARGET_SIZE " + std::to_string(target) + "\n";
    jobText += NtscHeight(picture.height) ? "FRMRT NTSC\n" : "FRMRT PAL\n";
    jobText += wide ? "ASPECT_RATIO 16:9\n" : "ASPECT_RATIO 4:3\n";
    jobText += panScan ? "PAN_SCAN ON\n" : "PAN_SCAN OFF\n";
    if (panScan) jobText += "PAN_SCAN_VECTOR " + std::to_string(vector) + "\n";
    WriteFileText(dir + "/job.tp", jobText);

    JobOptions options;
    options.extendedAnalysis = flags & 1;
    options.progressiveStill = (flags >> 1) & 1;
    options.levelMode = (flags >> 2) & 3;
    fuzz::RunCheckedJob(options, full ? 30.0 : 3.0, data, size);
    return 0;
}
