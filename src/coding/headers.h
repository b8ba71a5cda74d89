// Stream header writers, in the order a final attempt calls them.
#ifndef PICTOR_CODING_HEADERS_H
#define PICTOR_CODING_HEADERS_H

#include <cstdint>

// sequence_header and sequence_extension.
void WriteSequenceHeader();
void WriteSequenceDisplayExtension();
void WriteGopHeader();
// picture_header, picture_coding_extension and, with PanScan, picture_display_extension.
void WritePictureHeader();
void WriteSequenceEnd();
// The 64 weights of `matrix` (raster order) in zig-zag order, 8 bits each.
void WriteQuantMatrix(const int32_t* matrix);

#endif
