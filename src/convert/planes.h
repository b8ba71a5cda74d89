// Picture planes handed from the picture input to the encoder.
#ifndef PICTOR_CONVERT_PLANES_H
#define PICTOR_CONVERT_PLANES_H

#include <cstdint>

// Y is FrameWidth x FrameHeight (row length FrameWidth); Cb and Cr are
// FrameWidth/2 x FrameHeight as converted (half width, full height) and hold
// 4:2:0 chroma (row length FrameWidth/2) once the encoder has decimated them.
// red, green and blue are the working planes of the conversion.
struct PicturePlanes {
    uint8_t* y;
    uint8_t* cb;
    uint8_t* cr;
    uint8_t* red;
    uint8_t* green;
    uint8_t* blue;
};
extern PicturePlanes gPlanes;

void ResetPicturePlanes();

#endif
