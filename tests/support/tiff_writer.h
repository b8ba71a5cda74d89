// A small TIFF writer for tests: well-formed pictures of every accepted size,
// and the odd or broken directories that real writers never produce.
#ifndef PICTOR_TESTS_SUPPORT_TIFF_WRITER_H
#define PICTOR_TESTS_SUPPORT_TIFF_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

enum TiffType : uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };

// One directory entry. For SHORT and LONG the values are written at their
// width; for other types each value is written as one byte (BYTE, ASCII) or
// as a 4-byte word (RATIONAL: two words per value). `count` is written as it
// stands, so it may disagree with the values given.
struct TiffEntry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::vector<uint32_t> values;
};

// Tag 273 or 279 with no values gets the strips' offsets or byte counts.
struct TiffFile {
    bool bigEndian = false;
    std::vector<TiffEntry> entries;
    std::vector<std::vector<uint8_t>> strips;
};

struct TiffOptions {
    bool bigEndian = false;
    int rowsPerStrip = 0;  // 0: the whole picture in one strip
    bool packBits = false;
    int orientation = 0;          // 0: no Orientation entry
    bool longDimensions = false;  // ImageWidth and ImageLength as LONG entries
    bool fillOrder2 = false;      // bits of every strip byte reversed, FillOrder 2
    int bitsPerSample = 8;        // 8 or 16 (16: each sample is v * 257)
    int extraSamples = 0;         // samples after blue, each 0x55, with ExtraSamples 0
    bool rowsPerStripEntry = true;
};

// A directory entry for the common cases.
TiffEntry Short(uint16_t tag, std::vector<uint32_t> values);
TiffEntry Long(uint16_t tag, std::vector<uint32_t> values);

// The layout of an RGB picture (rgb: width x height pixels, R G B each), for
// tests that change entries before writing.
TiffFile RgbTiffLayout(int width, int height, const std::vector<uint8_t>& rgb,
                       const TiffOptions& options);
std::vector<uint8_t> WriteTiffFile(const TiffFile& file);
std::vector<uint8_t> MakeRgbTiff(int width, int height, const std::vector<uint8_t>& rgb,
                                 TiffOptions options = TiffOptions{});

#endif
