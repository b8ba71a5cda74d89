/* Pictor: still-picture MPEG-2 encoder, public interface.
 *
 * One job codes one TIFF picture, named by a job parameter file, into one
 * intra frame of an MPEG-2 Main Profile @ Main Level elementary stream.
 * Jobs run synchronously on the caller's thread. While `Pictor` runs, another
 * thread may read `progress` and `status` and write `cancel` (each one aligned
 * 32-bit word).
 *
 * One job runs at a time in a process: a call of either entry point made while
 * another job runs waits until that job has ended, then runs its own job.
 * Waiting jobs are taken in no particular order. While a `Pictor` job waits its
 * error text is empty, `status` is 2 and `progress` 0, and its `cancel` word is
 * honoured: set to 1, the job ends without starting, with result 1, `status` 1
 * and `progress` 100. A waiting `PictorForDA` job cannot be cancelled.
 */
#ifndef PICTOR_PICTOR_H
#define PICTOR_PICTOR_H

#include <stddef.h>
#include <stdint.h>

/* The release of this header and of the library built with it. The build reads
 * these lines for its project version, so they are the one place it is set. */
#define PICTOR_VERSION_MAJOR 0
#define PICTOR_VERSION_MINOR 1
#define PICTOR_VERSION_PATCH 0
#define PICTOR_VERSION_STRING "0.1.0"

#if defined(_WIN32)
#define PICTOR_API __declspec(dllexport)
#else
#define PICTOR_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of both entry points and values of `status` at the end of a job. */
enum { PICTOR_FINISHED = 0, PICTOR_FAILED = -1, PICTOR_CANCELLED = 1, PICTOR_RUNNING = 2 };

/* The caller-owned record of one job. Its layout crosses the library boundary
 * and is fixed: 4-byte packing, fields in this order. On a 32-bit build the
 * record is 3408 bytes; on a 64-bit build only `errorText` is wider. */
#pragma pack(push, 4)
typedef struct JobContext {
    char* errorText; /* caller's buffer of at least 1024 bytes */
    int32_t reserved0;
    int32_t progress; /* 0, 10, 70, 80, 90, then 100 at the end */
    int32_t cancel;   /* 1 asks the job to stop */
    int32_t status;   /* 2 running; 0, 1 or -1 at the end */
    int32_t reserved1[2];
    char workDir[2080];       /* folder of the job parameter file */
    char jobFileName[264];    /* job parameter file inside workDir */
    int32_t extendedAnalysis; /* non-zero: distortion-threshold matrix search */
    int32_t progressiveStill; /* 1: no lower target bound, progressive sequence */
    int32_t levelMode;        /* 0 video levels, 1 full range wide clip, 2 full range */
    char streamPath[1024];    /* cleared by Pictor */
} JobContext;
#pragma pack(pop)

#define PICTOR_CONTEXT_OFFSET(field) offsetof(JobContext, field)
#define PICTOR_POINTER_GROWTH (sizeof(char*) - 4)

#ifdef __cplusplus
#define PICTOR_STATIC_ASSERT static_assert
#else
#define PICTOR_STATIC_ASSERT _Static_assert
#endif

PICTOR_STATIC_ASSERT(sizeof(char*) == 4 || sizeof(char*) == 8, "32- or 64-bit only");
PICTOR_STATIC_ASSERT(PICTOR_CONTEXT_OFFSET(errorText) == 0, "errorText");
PICTOR_STATIC_ASSERT(PICTOR_CONTEXT_OFFSET(reserved0) == 4 + PICTOR_POINTER_GROWTH, "reserved0");
PICTOR_STATIC_ASSERT(PICTOR_CONTEXT_OFFSET(progress) == 8 + PICTOR_POINTER_GROWTH, "progress");
PICTOR_STATIC_ASSERT(PICTOR_CONTEXT_OFFSET(cancel) == 12 + PICTOR_POINTER_GROWTH, "cancel");
PICTOR_STATIC_ASSERT(PICTOR_CONTEXT_OFFSET(status) == 16 + PICTOR_POINTER_GROWTH, "status");
PICTOR_STATIC_ASSERT(PICTOR_CONTEXT_OFFSET(reserved1) == 20 + PICTOR_POINTER_GROWTH, "reserved1");
PICTOR_STATIC_ASSERT(PICTOR_CONTEXT_OFFSET(workDir) == 28 + PICTOR_POINTER_GROWTH, "workDir");
PICTOR_STATIC_ASSERT(PICTOR_CONTEXT_OFFSET(jobFileName) == 2108 + PICTOR_POINTER_GROWTH,
                     "jobFileName");
PICTOR_STATIC_ASSERT(PICTOR_CONTEXT_OFFSET(extendedAnalysis) == 2372 + PICTOR_POINTER_GROWTH,
                     "extendedAnalysis");
PICTOR_STATIC_ASSERT(PICTOR_CONTEXT_OFFSET(progressiveStill) == 2376 + PICTOR_POINTER_GROWTH,
                     "progressiveStill");
PICTOR_STATIC_ASSERT(PICTOR_CONTEXT_OFFSET(levelMode) == 2380 + PICTOR_POINTER_GROWTH, "levelMode");
PICTOR_STATIC_ASSERT(PICTOR_CONTEXT_OFFSET(streamPath) == 2384 + PICTOR_POINTER_GROWTH,
                     "streamPath");
PICTOR_STATIC_ASSERT(sizeof(JobContext) == 3408 + PICTOR_POINTER_GROWTH, "JobContext size");

/* Runs one job described by `context`. Returns 0 finished, -1 failed, 1 cancelled.
 *
 * What the stream path holds afterwards (either entry point):
 * - 0: the coded picture, at most 1,800,000 bits.
 * - -1 or 1 before the final pass opened the stream: whatever file was there before.
 * - 1 from the final pass on (cancelled, or a coding pass without its buffers): the last
 *   attempt as far as it was written, from the headers alone upwards.
 * - -1 with message 49, the picture does not fit within 1,800,000 bits: no file at all.
 * A write that fails (a full disk) does not end the job: it finishes with the stream cut. */
PICTOR_API int Pictor(JobContext* context);

/* Runs one job without a caller-visible context. With a non-empty `streamPath`
 * `jobFileName` is a complete path and the stream goes to `streamPath`;
 * otherwise the job runs as `Pictor` would. Same results as `Pictor`. */
PICTOR_API int PictorForDA(const char* workDir, const char* jobFileName, const char* streamPath,
                           int extendedAnalysis);

#ifdef __cplusplus
}
#endif

#endif /* PICTOR_PICTOR_H */
