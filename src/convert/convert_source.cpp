#include "convert/convert_source.h"

#include "convert/planes.h"

PicturePlanes gPlanes;

void ResetPicturePlanes() { gPlanes = PicturePlanes{}; }

// Placeholders until the picture input lands.
int ConvertSourcePicture(const char* /*path*/) { return -1; }
int AllocatePicturePlanes() { return -1; }
