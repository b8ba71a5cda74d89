// Strip reading: uncompressed and PackBits strips into the red, green and
// blue working planes.
#ifndef PICTOR_TIFF_TIFF_STRIPS_H
#define PICTOR_TIFF_TIFF_STRIPS_H

#include <cstdint>
#include <cstdio>

// The working planes the raster goes into, owned by the caller: imageWidth x imageLength bytes
// each, row-major, zero-filled. Grey and palette samples are mapped to all three.
struct RgbPlanes {
    uint8_t* red;
    uint8_t* green;
    uint8_t* blue;
};

// Whole picture, strip by strip; 0 or -1 (message 18 or 16, none for allocation).
[[nodiscard]] int ReadTiffRaster(FILE* file, const RgbPlanes& planes);
// Rows first row .. first row + rows per strip - 1 from strip s; 0 or -1.
[[nodiscard]] int ReadTiffStrip(FILE* file, uint32_t firstRow, uint32_t s, const RgbPlanes& planes);
// Bytes that rows per strip rows of the picture need (D).
[[nodiscard]] uint64_t DecodedStripSize();
// Decodes strip s's PackBits data (strip byte counts[s] bytes at raw) into
// D bytes at decoded; 0, or -1 after message 16 when the input ends first.
// A literal run is cut at the end of the input and every run at D.
[[nodiscard]] int UnpackBitsStrip(const uint8_t* raw, uint8_t* decoded, uint32_t s);
void ReverseBitOrder(uint8_t* buffer, uint64_t length);
// The bits per sample[i] bits (at most 16) from bit p, most significant
// first; bits at or past `length` bytes read as 0.
[[nodiscard]] uint32_t ReadSampleBits(uint64_t p, int i, const uint8_t* strip, uint64_t length);

#endif
