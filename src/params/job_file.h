// Job parameter step: the job parameter file read and checked, and the encoder settings that
// follow from it and from the converted picture.
#ifndef PICTOR_PARAMS_JOB_FILE_H
#define PICTOR_PARAMS_JOB_FILE_H

#include <cstdint>

constexpr int kJobLineBytes = 256;  // a line is read in pieces of at most 255 characters
constexpr int kAspect4x3 = 2;
constexpr int kAspect16x9 = 3;

enum Standard : int32_t { kStandardUnset, kStandardNtsc, kStandardPal };

// What the job parameter file said and which keys it named at all; the job driver holds it
// for one job.
struct JobParameters {
    char sourceName[kJobLineBytes];
    char sourcePath[2400];  // workDir + "/still/" + SOURCE_FILE, when SOURCE_FILE was named
    int32_t standard;
    int32_t aspect;  // kAspect4x3 unless ASPECT_RATIO says otherwise
    int32_t panScanOn;
    int32_t panScanVector;
    int32_t seenSource, seenTarget, seenFrameRate, seenAspect, seenPanScan, seenVector;
    int32_t failed;  // a check failed: the job fails once every check has run
};

// The file read and checked into settings the job's reset left at their defaults, each problem
// reported.
// 0 when the file was read (job->failed says whether its contents passed); -1 when it cannot
// be opened (code 2) or no line buffer can be had.
[[nodiscard]] int ReadJobParameters(const char* workDir, const char* jobFilePath,
                                    JobParameters* job);
// One line of a job parameter file, as key and value.
struct JobWord {
    const char* key;
    const char* value;
};
// The parameters of a job given in memory: `words` read and checked as the lines of a job
// parameter file are, in order, with the same messages; the source is the picture in memory,
// cited as `sourceName`.
void ReadJobWords(const JobWord* words, int count, const char* sourceName, JobParameters* job);
// The converted picture's width and height in pixels.
struct PictureSize {
    uint32_t width;
    uint32_t height;
};
// The settings that follow from the job and, when SOURCE_FILE was named, from the converted
// picture of size `picture`, with that size checked against the standard and the aspect ratio.
// 0, or -1 when any check of the job failed.
[[nodiscard]] int SettleJobSettings(JobParameters* job, PictureSize picture);

// The frame size and the macroblock counts of a width x height picture into the settings.
void SetPictureSize(uint32_t width, uint32_t height);

// TARGET_SIZE as a job uses it: at most kMaxPictureBits, and at least kMinTarget unless the
// picture is coded as a progressive still.
constexpr int32_t kMinTarget = 160000;
[[nodiscard]] int64_t TargetUsed(int64_t asRead, bool progressiveStill);
// Leading decimal integer of a job file value: no digits give 0, values beyond 32 bits
// saturate; `end` (when given) gets where the reading stopped.
[[nodiscard]] int32_t LeadingInteger(const char* value, const char** end = nullptr);
// The characters that part the words of a job file line; kCommentMark starts a comment.
[[nodiscard]] bool IsJobFileBlank(char c);
constexpr char kCommentMark = '#';

// Cuts `line` at its first '#' among its first 256 characters, in place.
void StripComment(char* line);
// 0 when the file exists, -1 when not.
[[nodiscard]] int SourceExists(const char* path);

#endif
