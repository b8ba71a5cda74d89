// Picture planes handed from the picture input to the encoder.
#ifndef PICTOR_CONVERT_PLANES_H
#define PICTOR_CONVERT_PLANES_H

#include <cstdint>

// For a W x H picture (the settings' FrameWidth and FrameHeight once the job has them): Y is
// W x H (row length W); Cb and Cr are W/2 x H as converted (half width, full height) and hold
// 4:2:0 chroma (row length W/2) once the encoder has decimated them. red, green and blue are
// the working planes of the conversion (a band of rows, or the whole picture when it is turned),
// released when it ends.
struct PicturePlanes {
    uint8_t* y;
    uint8_t* cb;
    uint8_t* cr;
    uint8_t* red;
    uint8_t* green;
    uint8_t* blue;
};
extern thread_local PicturePlanes* tPlanes;

void ResetPicturePlanes();

#endif
