// Source type test: is the file a TIFF file?
#ifndef PICTOR_TIFF_TIFF_DETECT_H
#define PICTOR_TIFF_TIFF_DETECT_H

// 1 TIFF, 0 any other file, -1 cannot be opened (code 13 reported).
[[nodiscard]] int DetectSourceType(const char* path);

#endif
