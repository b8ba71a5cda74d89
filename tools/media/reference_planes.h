// The planes the library codes for a picture: its own RGB to Y/Cb/Cr conversion
// and its own 4:2:0 chroma decimation, run on the TIFF handed to it.
#ifndef PICTOR_TOOLS_MEDIA_REFERENCE_PLANES_H
#define PICTOR_TOOLS_MEDIA_REFERENCE_PLANES_H

#include <string>

#include "media/picture.h"

// levelMode as the job context's: 0 video, 1 full range with the wide clip,
// 2 full range. False with `error` set when the library refuses the TIFF.
// Runs on the calling thread's own instance of the library's internal build,
// beside any job of the command.
bool ReferencePlanesFromTiff(const std::string& tiffPath, int levelMode, YuvPlanes* out,
                             std::string* error);

#endif
