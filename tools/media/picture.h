// Pictures as the command holds them between the decoders, the fit and the library.
#ifndef PICTOR_TOOLS_MEDIA_PICTURE_H
#define PICTOR_TOOLS_MEDIA_PICTURE_H

#include <cstdint>
#include <vector>

struct Rgb8 {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
};

// 8-bit RGB, rows top to bottom, three bytes per pixel, no row padding.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// 4:2:0 Y/Cb/Cr: Y width x height, Cb and Cr (width / 2) x (height / 2).
struct YuvPlanes {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y;
    std::vector<uint8_t> cb;
    std::vector<uint8_t> cr;
};

// Pictures larger than this are refused before anything is allocated for them:
// at 4 bytes a pixel the largest decode buffer stays at 256 MiB.
constexpr uint64_t kMaxPicturePixels = uint64_t{1} << 26;
constexpr uint32_t kMaxPictureSide = 65535;

#endif
