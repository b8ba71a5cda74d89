// What a coded stream looks like once decoded: PSNR and SSIM against the planes
// that were coded, the quantiser range used, and a PNG preview.
#ifndef PICTOR_TOOLS_MEDIA_QUALITY_H
#define PICTOR_TOOLS_MEDIA_QUALITY_H

#include <cstdint>
#include <string>

#include "media/picture.h"

// quantiser_scale (not the code) over the slices of a stream, from their headers: a
// macroblock that changes the quantiser is not seen.
struct QuantiserRange {
    bool known = false;
    int min = 0;
    int max = 0;
};

struct DecodedStream {
    YuvPlanes picture;  // the first picture
    QuantiserRange quantiser;
    int frames = 0;
    // What is wrong with the stream, one line each: data libmpeg2 finds invalid, macroblock
    // rows of the first picture that no slice starts. Empty when nothing is.
    std::string decoderMessages;
};

// Decodes an MPEG-2 video elementary stream with libmpeg2; its first picture must be
// 4:2:0 of an even size. False with `error` when no picture decodes.
bool DecodeMpeg2Stream(const std::string& streamPath, DecodedStream* out, std::string* error);

struct QualityReport {
    double psnrY = 0;
    double psnrCb = 0;
    double psnrCr = 0;
    double psnrAverage = 0;  // (6 Y + Cb + Cr) / 8, in dB
    double ssimY = 0;
};

// Planes that match exactly have no finite PSNR; they report this.
constexpr double kPsnrOfIdenticalPlanes = 99.0;

// PSNR in dB of two sample arrays of `count` samples (peak 255).
double PlanePsnr(const uint8_t* a, const uint8_t* b, size_t count);
// Mean SSIM of two planes (row length `width`) over 8x8 windows stepped by 4
// samples, with K1 0.01 and K2 0.03, as common video tools compute it.
double PlaneSsim(const uint8_t* a, const uint8_t* b, int width, int height);

// False with `error` when the sizes differ.
bool ComparePlanes(const YuvPlanes& reference, const YuvPlanes& decoded, QualityReport* report,
                   std::string* error);

// Writes the decoded picture as 8-bit RGB PNG (BT.601, video levels, chroma
// upsampled by libswscale), as stored: 720 samples across, not resized to the
// display aspect. The file appears complete or not at all.
// `safeArea`: with the action- and title-safe outlines drawn over it (media/safe_area.h).
bool WritePreviewPng(const std::string& path, const YuvPlanes& decoded, std::string* error,
                     bool safeArea = false);

#endif
