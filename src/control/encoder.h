// Encoder driver: codes the converted picture into the stream file.
#ifndef PICTOR_CONTROL_ENCODER_H
#define PICTOR_CONTROL_ENCODER_H

#include <cstdint>

// 0 coded; -1 failure before the coding passes; 1 cancelled, a pass failed or
// the stream file cannot be opened.
[[nodiscard]] int EncodePicture();
// Puts every record of the encoder and the coding core back to its state before a job: bit
// writer, code list, running DC, intra matrix, macroblock bits, analysis, search estimate,
// estimate memo, threshold and error-term table. Not gCarriedSearch, which carries over.
void ResetEncoderRecords();
// Cb and Cr (half width, full height) into 4:2:0 inside the same planes; 0, or
// -1 when its working rows cannot be had (the planes are then unchanged).
[[nodiscard]] int DecimateChroma();

#endif
