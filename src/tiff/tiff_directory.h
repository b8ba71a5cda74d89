// File-level TIFF reading: values at absolute offsets and the first directory.
#ifndef PICTOR_TIFF_TIFF_DIRECTORY_H
#define PICTOR_TIFF_TIFF_DIRECTORY_H

#include <cstdint>
#include <cstdio>

// No field keeps more than this many values of one entry (the sample map's 768): of a longer
// entry only these and its last value are read.
constexpr uint32_t kTiffValuesKept = 768;

// What a field can use of the values of a SHORT or LONG entry.
struct TiffEntryValues {
    const uint32_t* first;  // values 0 .. min(count, kTiffValuesKept) - 1
    uint32_t last;          // value count - 1; 0 for a count of 0
};

// Called once per entry with a non-zero tag whose values (if any are read) lie in the file, in
// file order, with the entry's value count. Values come only for SHORT and LONG entries, and not
// for the strip tables (tags 273, 279) of a directory whose strip count (the count of its last
// StripOffsets entry) is above the tables' places: such a layout is refused whatever they hold.
typedef void (*TiffFieldRecorder)(uint32_t tag, uint32_t type, uint32_t count,
                                  const TiffEntryValues* values);

// Unsigned value of `size` (1, 2 or 4) bytes at `offset`, in the file's byte
// order. A value that would end past the file's end reads as 0 and marks the
// field record as having run past the end.
[[nodiscard]] uint32_t ReadTiffValue(FILE* file, uint64_t offset, int size);
// Walks the first directory; 0, or -1 when the byte-order mark is wrong or a
// buffer cannot be allocated (no message). Entries the file cannot hold are not
// walked, and mark the field record as having run past the end.
[[nodiscard]] int ReadTiffDirectory(FILE* file, TiffFieldRecorder recorder);

#endif
