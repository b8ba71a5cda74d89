// File-level TIFF reading: values at absolute offsets and the first directory.
#ifndef PICTOR_TIFF_TIFF_DIRECTORY_H
#define PICTOR_TIFF_TIFF_DIRECTORY_H

#include <cstdint>
#include <cstdio>

// Called once per entry with a non-zero tag, in file order; values only for
// SHORT and LONG entries (count of them), otherwise none.
typedef void (*TiffFieldRecorder)(uint32_t tag, uint32_t type, uint32_t count,
                                  const uint32_t* values);

// Unsigned value of `size` (1, 2 or 4) bytes at `offset`, in the file's byte
// order. A value that would end past the file's end reads as 0 and marks the
// field record as having run past the end.
[[nodiscard]] uint32_t ReadTiffValue(FILE* file, uint64_t offset, int size);
// Walks the first directory; 0, or -1 when the byte-order mark is wrong or a
// buffer cannot be allocated (no message).
[[nodiscard]] int ReadTiffDirectory(FILE* file, TiffFieldRecorder recorder);

#endif
