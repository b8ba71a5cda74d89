// Stream header writers, in the order a final attempt calls them; each writes from the
// settings that DeriveSettings has completed.
#ifndef PICTOR_CODING_HEADERS_H
#define PICTOR_CODING_HEADERS_H

#include <cstdint>

#include "params/settings_record.h"

// sequence_header, carrying `intraMatrix` (raster order) in scan order, and sequence_extension.
void WriteSequenceHeader(const EncoderSettings& s, const int32_t* intraMatrix);
void WriteSequenceDisplayExtension(const EncoderSettings& s);
void WriteGopHeader();
// picture_header, picture_coding_extension and, with PanScan, picture_display_extension.
void WritePictureHeader(const EncoderSettings& s);
void WriteSequenceEnd();

#endif
