// Strip reading: uncompressed and PackBits strips into bands of red, green and blue working
// planes.
#ifndef PICTOR_TIFF_TIFF_STRIPS_H
#define PICTOR_TIFF_TIFF_STRIPS_H

#include <cstdint>
#include <cstdio>

// A band of working planes, owned by the caller: `rows` rows of imageWidth bytes each. Grey and
// palette samples are mapped to all three.
struct RgbPlanes {
    uint8_t* red;
    uint8_t* green;
    uint8_t* blue;
};

// Where the raster goes, a few rows at a time and top row first: at most `rows` (at least 1)
// rows unpacked into the band (its row 0 the first of them), then handed on by take(context,
// first row, rows) before the band is refilled. Rows the strips do not give are never handed on.
struct RasterBands {
    RgbPlanes band;
    uint32_t rows;
    void (*take)(void* context, uint32_t firstRow, uint32_t rows);
    void* context;
    // When not null: rows of 8-bit RGB pixels, three bytes each, that a strip's data holds whole
    // are handed on where they lie instead (rows `rowBytes` apart, `pixels` the first's), at most
    // `rows` at a time.
    void (*takePixels)(void* context, const uint8_t* pixels, uint64_t rowBytes, uint32_t firstRow,
                       uint32_t rows);
};

// Strips the raster reads: the directory's, up to the strip tables' places.
[[nodiscard]] uint32_t RasterStripCount();
// Whether strip s's byte count from its offset lies inside the file; the raster refuses a strip
// that does not (message 18) before reading it.
[[nodiscard]] bool StripInFile(uint32_t s);
// Whole picture, strip by strip; 0 or -1 (message 18 or 16, none for allocation).
[[nodiscard]] int ReadTiffRaster(FILE* file, const RasterBands& bands);
// Rows first row .. first row + rows per strip - 1 from strip s; 0 or -1.
[[nodiscard]] int ReadTiffStrip(FILE* file, uint32_t firstRow, uint32_t s,
                                const RasterBands& bands);
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
