// Job driver: switches and names of the running job, and the job sequence.
#ifndef PICTOR_API_JOB_DRIVER_H
#define PICTOR_API_JOB_DRIVER_H

#include <cstdint>

#include "pictor/pictor.h"

constexpr int kMaxJobPathLength = 256;

// Rewritten at the start of every job from its context.
struct JobSwitches {
    int32_t extendedAnalysis;                 // 1 when the context's extendedAnalysis is non-zero
    int32_t progressiveStill;                 // 1 when the context's progressiveStill is exactly 1
    int32_t fullRange;                        // levelMode 1 or 2
    int32_t wideClip;                         // levelMode 1
    char jobFileName[264];                    // cited by the job-file messages
    char pictureName[kMaxJobPathLength + 8];  // stem + ".tif", cited by the picture messages
    char streamPath[1025];                    // where the encoder driver writes the stream
    char sourcePath[2400];  // workDir + "/still/" + SOURCE_FILE, set by the job parameter step
};
extern JobSwitches gSwitches;

void ResetJobSwitches();
// 0 finished, -1 failed, 1 cancelled.
int RunJob(JobContext* context);
// Stem of the job parameter file path (up to the first ".tp") into `stem`
// (at least kMaxJobPathLength + 1 bytes); -1 after code 47 when the path is too long.
int StripJobExtension(const char* path, char* stem);

#endif
