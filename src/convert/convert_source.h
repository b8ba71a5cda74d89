// The conversion call: a TIFF source file into the picture planes.
#ifndef PICTOR_CONVERT_CONVERT_SOURCE_H
#define PICTOR_CONVERT_CONVERT_SOURCE_H

// 0 when the picture planes are filled and FrameWidth/FrameHeight hold the
// picture size; -1 on any failure (reported, except allocation failures).
int ConvertSourcePicture(const char* path);
// Allocates the six planes from FrameWidth and FrameHeight; 0 or -1.
int AllocatePicturePlanes();

#endif
