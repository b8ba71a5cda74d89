// The first directory read and checked as a job reads it, and the probe that runs the same steps
// on a file without converting it: what the reader makes of the file, as plain data.
#ifndef PICTOR_TIFF_TIFF_PROBE_H
#define PICTOR_TIFF_TIFF_PROBE_H

#include <cstdint>
#include <cstdio>

#include "tiff/tiff_fields.h"

// The field record reset, the first directory walked into it and the layout checked; 0, or -1
// (message 19 citing `path` for a refused layout; none when the walk itself fails).
[[nodiscard]] int ReadTiffLayout(FILE* file, const char* path);

struct TiffStripRange {
    uint64_t offset;
    uint64_t byteCount;
};

// What the reader makes of a file. The fields are those the directory gave, also when it is
// refused (the record's defaults where it gave none).
struct TiffProbe {
    int32_t accepted;     // 1: a job reads this picture's strips
    int32_t messageCode;  // the first message a job would report, 0 when none
    uint32_t width;
    uint32_t height;
    uint16_t photometric;
    uint16_t samplesPerPixel;
    uint16_t planarConfiguration;
    uint16_t orientation;
    uint16_t compression;
    uint16_t fillOrder;
    uint16_t bitsPerSample[kBitsPerSamplePlaces];
    uint32_t rowsPerStrip;  // 0xFFFFFFFF when the directory gives none
    uint64_t fileSize;
    uint32_t stripCount;  // the directory's; 0xFFFFFFFF without StripOffsets
    uint32_t stripsRead;  // strips the raster reads, in order: strips[0 .. stripsRead - 1]
    TiffStripRange strips[kStripPlaces];
};

// The steps of a job up to the raster: the source type test, the directory and its checks, and
// every strip's place in the file. Reports into its own text, then restores the reporter and
// resets the field record; the files and blocks it used stay in the registry's records until
// they are next reset, so it runs between jobs, never within one.
void ProbeTiffFile(const char* path, TiffProbe* out);

#endif
