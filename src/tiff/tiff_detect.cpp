#include "tiff/tiff_detect.h"

// Placeholder until the picture input lands.
int DetectSourceType(const char* /*path*/) { return 0; }
