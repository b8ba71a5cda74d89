/* Pictor: still-picture MPEG-2 encoder, public interface.
 *
 * One job codes one picture into one intra frame of an MPEG-2 Main Profile @
 * Main Level elementary stream, steered to a size in bits. Two ways in:
 * - `Pictor` and `PictorForDA`: a TIFF file named by a job parameter file, the
 *   stream to a file, one job at a time in the process (below).
 * - Encoder instances (`PictorCreate` and the functions after it): the picture
 *   from memory (8-bit RGB or TIFF bytes), the stream to memory, and any number
 *   of instances coding at once, one job per instance at a time.
 * The manual page pictor(3) describes both.
 *
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
#define PICTOR_VERSION_MINOR 2
#define PICTOR_VERSION_PATCH 0
#define PICTOR_VERSION_STRING "0.2.0"

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

/* ---- Encoder instances ----
 *
 * An instance holds everything its jobs use: their records, a helper thread,
 * the working memory it keeps between jobs, and the one value the extended
 * analysis carries from one job to the next (which can make a job's stream
 * depend on the instance's earlier jobs, as it does for `Pictor` in one
 * process). Jobs on different instances run at the same time in different
 * threads without waiting for each other. One job runs on an instance at a
 * time: a call made while the instance runs a job returns PICTOR_BUSY at once.
 * A stream coded on a new instance equals, byte for byte, the stream of the
 * same picture and settings coded by `Pictor` in a new process. */
typedef struct PictorEncoder PictorEncoder;

/* Result of a call on an instance that is running another job. */
enum { PICTOR_BUSY = -2 };

/* `standard` and `aspect` of PictorSettings: the job parameter file's FRMRT and
 * ASPECT_RATIO. */
enum { PICTOR_NTSC = 1, PICTOR_PAL = 2 };
enum { PICTOR_ASPECT_4_3 = 2, PICTOR_ASPECT_16_9 = 3 };

/* One job's settings, with the meanings of the job parameter file's keys and of
 * JobContext's switches. Fill it with PictorDefaultSettings, then change what
 * differs. Values are checked as the job file's are, with the same messages:
 * an unknown standard or aspect gives "Invalid FRMRT: 7 <...>", pan-scan on
 * with 4:3 gives message 38, a picture size that does not match the standard
 * or the aspect gives messages 43 to 46. */
typedef struct PictorSettings {
    int32_t targetBits;       /* TARGET_SIZE: clamped to 160000..1800000 (no lower bound for a
                                 progressive still); default 1200000 */
    int32_t standard;         /* FRMRT: PICTOR_PAL (default) or PICTOR_NTSC */
    int32_t aspect;           /* ASPECT_RATIO: PICTOR_ASPECT_4_3 (default) or _16_9 */
    int32_t panScan;          /* PAN_SCAN: 0 off (default), 1 on (16:9, 720 or 704 wide) */
    int32_t panScanVector;    /* PAN_SCAN_VECTOR in 1/16 luma samples, used when panScan is 1 */
    int32_t extendedAnalysis; /* non-zero: distortion-threshold matrix search */
    int32_t progressiveStill; /* 1: no lower target bound, progressive sequence */
    int32_t levelMode;        /* 0 video levels, 1 full range wide clip, 2 full range */
    /* Names that messages cite. `jobName` stands where a job parameter file name
     * would (NULL: "picture.tp"); the picture is cited as its stem with ".tif" and
     * the stream with ".ts", as for a job file, unless `pictureName` is given. */
    const char* jobName;
    const char* pictureName;
} PictorSettings;

/* Where a job's stream goes. Either a buffer: `buffer` and `capacity` (a
 * stream never exceeds 225000 bytes, 1,800,000 bits, so that many always
 * suffice); or, with `buffer` NULL, `write`, called once or more with the
 * stream's bytes in order after the job has coded them and returning 0 (any
 * other value fails the job). On return `size` holds the stream's length in
 * bytes: on success what was delivered; when the buffer was too small (the job
 * fails with "Cannot write <...>") what it needed; otherwise 0. Nothing is
 * delivered by a job that fails or is cancelled. */
typedef int (*PictorWriteFunction)(void* opaque, const unsigned char* bytes, size_t size);
typedef struct PictorStream {
    unsigned char* buffer;
    size_t capacity;
    size_t size;
    PictorWriteFunction write;
    void* opaque;
} PictorStream;

/* The caller's view of one running job, as JobContext's words are: another
 * thread may read `progress` (0, 10, 70, 80, 90, then 100) and `status` (2
 * while running, then the result) and set `cancel` to 1 to stop the job, each
 * one aligned 32-bit word. `cancel` is read, not cleared: set it before the
 * call and the job ends as soon as it looks. `errorText` gets the job's
 * messages, the same lines the job-file path writes, or is empty. */
typedef struct PictorJobState {
    int32_t progress;
    int32_t cancel;
    int32_t status;
    char errorText[1024];
} PictorJobState;

/* A new instance, or NULL when there is no memory for one (about 1 MB, kept
 * until PictorDestroy). */
PICTOR_API PictorEncoder* PictorCreate(void);

/* Ends the instance's helper thread and frees it. NULL is ignored. Returns 0,
 * or PICTOR_BUSY (and frees nothing) while a job runs on it. */
PICTOR_API int PictorDestroy(PictorEncoder* encoder);

/* Forgets the value the extended analysis carries between the instance's jobs,
 * so its next job codes as a new instance's first job would. 0 or PICTOR_BUSY;
 * -1 for NULL. */
PICTOR_API int PictorResetCarried(PictorEncoder* encoder);

/* Fills `settings` with the defaults given above; NULL is ignored. */
PICTOR_API void PictorDefaultSettings(PictorSettings* settings);

/* Codes `width` x `height` pixels of 8-bit RGB, three bytes a pixel (red,
 * green, blue), rows `stride` bytes apart (at least 3 x width), top row first.
 * The size must be one a TIFF job accepts: 720, 704, 352, 176 or 96 wide;
 * 576, 288, 144 or 80 high (PAL) or 480, 240, 112 or 64 (NTSC). The stream equals that of the
 * same samples in an uncompressed RGB TIFF coded through a job file.
 * Returns 0 finished, -1 failed, 1 cancelled, PICTOR_BUSY. `state` may be NULL
 * (no progress, no cancel, no text). */
PICTOR_API int PictorEncodeRgb(PictorEncoder* encoder, const PictorSettings* settings,
                               const unsigned char* rgb, int32_t width, int32_t height,
                               ptrdiff_t stride, PictorStream* stream, PictorJobState* state);

/* Codes a TIFF file held in memory (`size` bytes), read by the same reader, with
 * the same messages, as a job's source file. Results as PictorEncodeRgb. */
PICTOR_API int PictorEncodeTiff(PictorEncoder* encoder, const PictorSettings* settings,
                                const void* tiff, size_t size, PictorStream* stream,
                                PictorJobState* state);

/* The library's release, "0.2.0": PICTOR_VERSION_STRING of the header it was
 * built with. */
PICTOR_API const char* PictorVersion(void);

#ifdef __cplusplus
}
#endif

#endif /* PICTOR_PICTOR_H */
