// A picture already in memory, encoded as a job of that picture would be but without a job
// file: for the encoder's tests and the benchmarks.
#ifndef PICTOR_TESTS_SUPPORT_PLANES_JOB_H
#define PICTOR_TESTS_SUPPORT_PLANES_JOB_H

#include <cstdint>

// As the conversion hands a picture over: Y width x height, Cb and Cr (width / 2) x height.
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
// The settings the job parameter step fills for that picture and job (pan-scan off).
void SetPlanesJobSettings(const PlanesJob& job);
// Fills the settings as the job parameter step would for that picture, copies the planes into
// the picture planes and sets the stream path; 0, or -1 when the planes cannot be allocated or
// the path does not fit.
[[nodiscard]] int PreparePlanesJob(const PlanesJob& job);
// PreparePlanesJob, then EncodePicture: its result, or -1.
[[nodiscard]] int EncodePlanesToFile(const PlanesJob& job);

#endif
