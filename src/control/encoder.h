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
// -1 when its temporary planes cannot be had (the planes are then unchanged).
[[nodiscard]] int DecimateChroma();

// A picture already in memory, as the conversion hands it over: Y width x
// height, Cb and Cr (width / 2) x height.
struct PlanesJob {
    int32_t width;
    int32_t height;
    const uint8_t* y;
    const uint8_t* cb;
    const uint8_t* cr;
    int32_t target;  // bits, taken as it is
    int32_t pal;     // 1: 25 pictures per second; 0: NTSC, 30
    int32_t wide;    // 1: 16:9; 0: 4:3
    const char* streamPath;
};
// Fills the settings as a job of that picture would, copies the planes into
// the picture planes and sets the stream path; 0, or -1 when the planes
// cannot be allocated or the path does not fit.
int PreparePlanesJob(const PlanesJob& job);
// PreparePlanesJob, then EncodePicture: its result, or -1.
int EncodePlanesToFile(const PlanesJob& job);

#endif
