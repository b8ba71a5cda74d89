// Stream header writers, in the order a final attempt calls them; each writes from the
// settings that DeriveSettings has completed.
#ifndef PICTOR_CODING_HEADERS_H
#define PICTOR_CODING_HEADERS_H

#include <cstdint>

// sequence_header, carrying `intraMatrix` (raster order) in scan order, and sequence_extension.
void WriteSequenceHeader(const int32_t* intraMatrix);
void WriteSequenceDisplayExtension();
void WriteGopHeader();
// picture_header, picture_coding_extension and, with PanScan, picture_display_extension.
void WritePictureHeader();
void WriteSequenceEnd();

#endif
