// What the TIFF reader knows of the file it reads, and the entry values it hands on to the field
// record. The directory reader owns the record and sets it as it reads; the field record and the
// strip reader only read it.
#ifndef PICTOR_TIFF_TIFF_READER_STATE_H
#define PICTOR_TIFF_TIFF_READER_STATE_H

#include <cstdint>

// Field types of a directory entry; only SHORT and LONG values are read.
enum TiffFieldType : uint32_t {
    kTiffByte = 1,
    kTiffAscii = 2,
    kTiffShort = 3,
    kTiffLong = 4,
    kTiffRational = 5
};

enum TiffByteOrder : int32_t { kByteOrderNotSet = 0, kLittleEndian = 1, kBigEndian = 2 };

// No field keeps more than this many values of one entry (the sample map's 768): of a longer
// entry only these and its last value are read.
constexpr uint32_t kTiffValuesKept = 768;

// Places of the strip tables. The reader hands on no strip table of a directory whose strip
// count is above them: such a layout is refused whatever the tables hold.
constexpr int kStripPlaces = 576;

// What a field can use of the values of a SHORT or LONG entry.
struct TiffEntryValues {
    const uint32_t* first;  // values 0 .. min(count, kTiffValuesKept) - 1
    uint32_t last;          // value count - 1; 0 for a count of 0
};

struct TiffReaderState {
    TiffByteOrder byteOrder;
    uint64_t fileSize;
    // Set when a header, entry or value would lie past the file's end, and never cleared while
    // the file is read; the layout check turns it into the unsupported flag.
    int32_t ranPastEnd;
};
extern thread_local TiffReaderState* tTiffReader;

// Back to no byte order, no size and nothing read past the end; ResetTiffFields runs it.
void ResetTiffReader();

#endif
