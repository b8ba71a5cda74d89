// TIFF field record: what the first directory says about the picture, and the
// tests that restrict it to the pictures the encoder accepts.
#ifndef PICTOR_TIFF_TIFF_FIELDS_H
#define PICTOR_TIFF_TIFF_FIELDS_H

#include <cstdint>

#include "tiff/tiff_reader_state.h"

constexpr int kBitsPerSamplePlaces = 11;
constexpr int kSampleMapPlaces = 768;
constexpr int kExtraSamplePlaces = 8;

// Bits of the TIFF status word.
constexpr uint32_t kTiffWarning = 1;
constexpr uint32_t kTiffUnsupported = 2;

// Internal conditions classified into the status word (SeverityOf).
constexpr int kConditionFieldUnsupported = 10;

struct TiffFields {
    // ImageWidth and ImageLength as recorded, also when refused; a directory without them
    // keeps 720 x 480, the frame size the encoder settings default to.
    uint32_t imageWidth;
    uint32_t imageLength;
    uint32_t newSubfileType;
    uint16_t subfileType;
    uint16_t bitsPerSample[kBitsPerSamplePlaces];
    uint16_t compression;
    uint16_t photometric;
    uint16_t fillOrder;
    uint32_t stripCount;
    uint32_t stripOffsets[kStripPlaces];
    uint16_t orientation;
    uint16_t samplesPerPixel;
    uint32_t rowsPerStrip;
    uint32_t stripByteCounts[kStripPlaces];
    uint16_t planarConfiguration;
    uint16_t sampleMap[kSampleMapPlaces];
    uint16_t paletteStride;
    uint16_t extraSamples[kExtraSamplePlaces];
    uint16_t bitsPerPixel;
    uint32_t status;
};
extern thread_local TiffFields* tTiffFields;

enum : uint16_t {
    kCompressionNone = 1,
    kCompressionLzw = 5,
    kCompressionPackBits = 32773,
};
enum : uint16_t {
    kWhiteIsZero = 0,
    kBlackIsZero = 1,
    kPhotometricRgb = 2,
    kPhotometricPalette = 3
};

// The field record and the reader's record back to their start, by the job's reset: a job reads
// one directory.
void ResetTiffFields();
// The field recorder handed to ReadTiffDirectory (TiffFieldRecorder). Refused values raise the
// unsupported flag
// and, for some, report a message citing the picture name.
void RecordTiffField(uint32_t tag, uint32_t type, uint32_t count, const TiffEntryValues* values);
// Tests of the field combinations, after the walk.
void CheckTiffLayout();

#endif
