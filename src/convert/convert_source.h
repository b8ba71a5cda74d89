// The conversion call: a TIFF source file into the picture planes.
#ifndef PICTOR_CONVERT_CONVERT_SOURCE_H
#define PICTOR_CONVERT_CONVERT_SOURCE_H

#include <cstdint>

#include "convert/colour.h"

// Reads the directory into the TIFF field record the job's reset left at its start. 0 when
// tPlanes holds the converted picture, whose size the record gives (imageWidth x imageLength); -1
// on any failure (reported, except allocation failures).
[[nodiscard]] int ConvertSourcePicture(const char* path, ColourLevels levels = kVideoLevels);
// 8-bit RGB samples, three a pixel, interleaved, in the caller's memory; rows `stride` bytes
// apart, top row first.
struct RgbSamples {
    const uint8_t* pixels;
    uint32_t width;
    uint32_t height;
    int64_t stride;
};
// The picture's size checked as a TIFF's fields are (messages 10 and 11), then the picture
// converted into tPlanes as the same samples in an uncompressed RGB TIFF are; its size into the
// TIFF field record. 0, or -1 on failure (reported, except allocation failures).
[[nodiscard]] int ConvertRgbPicture(const RgbSamples& picture, ColourLevels levels);
// Allocates the Y, Cb and Cr planes of a width x height picture into tPlanes; 0 or -1.
[[nodiscard]] int AllocatePicturePlanes(uint32_t width, uint32_t height);

#endif
