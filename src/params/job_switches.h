// Job switches: the options of the running job as the stages read them, and where its stream
// goes. Rewritten by the job driver at the start of every job; nothing carries over.
#ifndef PICTOR_PARAMS_JOB_SWITCHES_H
#define PICTOR_PARAMS_JOB_SWITCHES_H

#include <cstdint>

struct JobSwitches {
    int32_t extendedAnalysis;  // 1 when the context's extendedAnalysis is non-zero
    int32_t progressiveStill;  // 1 when the context's progressiveStill is exactly 1
    int32_t fullRange;         // levelMode 1 or 2
    int32_t wideClip;          // levelMode 1
    char streamPath[1025];     // where the encoder driver writes the stream
};
extern thread_local JobSwitches* tSwitches;

void ResetJobSwitches();

#endif
