// File-level TIFF reading: values at absolute offsets and the first directory.
#ifndef PICTOR_TIFF_TIFF_DIRECTORY_H
#define PICTOR_TIFF_TIFF_DIRECTORY_H

#include <cstdint>
#include <cstdio>

#include "tiff/tiff_reader_state.h"

// Called once per entry with a non-zero tag whose values (if any are read) lie in the file, in
// file order, with the entry's value count. Values come only for SHORT and LONG entries, and not
// for the strip tables (tags 273, 279) of a directory whose strip count (the count of its last
// StripOffsets entry) is above the tables' places: such a layout is refused whatever they hold.
typedef void (*TiffFieldRecorder)(uint32_t tag, uint32_t type, uint32_t count,
                                  const TiffEntryValues* values);

// Unsigned value of `size` (1, 2 or 4) bytes at `offset`, in the file's byte
// order. A value that would end past the file's end reads as 0 and marks the
// reader's record as having run past the end.
[[nodiscard]] uint32_t ReadTiffValue(FILE* file, uint64_t offset, int size);
// Walks the first directory; 0, or -1 when the byte-order mark is wrong or a
// buffer cannot be allocated (no message). Sets the byte order and the file's size;
// entries the file cannot hold are not walked, and mark the reader's record as having
// run past the end.
[[nodiscard]] int ReadTiffDirectory(FILE* file, TiffFieldRecorder recorder);

#endif
