// Encoder driver: codes the converted picture into the stream file.
#ifndef PICTOR_CONTROL_ENCODER_H
#define PICTOR_CONTROL_ENCODER_H

#include <cstdint>

// 0 coded; -1 failure before the coding passes; 1 cancelled, a pass failed or
// the stream file cannot be opened.
[[nodiscard]] int EncodePicture();
// Cb and Cr (half width, full height) into 4:2:0 inside the same planes; 0, or
// -1 when its working rows cannot be had (the planes are then unchanged).
[[nodiscard]] int DecimateChroma();

#endif
