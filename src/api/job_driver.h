// Job driver: sequences the stages of one job.
#ifndef PICTOR_API_JOB_DRIVER_H
#define PICTOR_API_JOB_DRIVER_H

#include <cstddef>

#include "convert/convert_source.h"
#include "pictor/pictor.h"
#include "runtime/job.h"

constexpr int kMaxJobPathLength = 256;

// The switches, the names that messages cite and the paths from the context, then the job
// parameter step, source detection, the cancel poll, the picture conversion, the settings of
// the job and the encoder driver; then the job's helper thread ends. 0 finished, -1 failed,
// 1 cancelled.
[[nodiscard]] int RunJob(JobContext* context);
// A job given in memory: its settings, and its picture as TIFF bytes or as RGB samples.
struct MemoryJob {
    const PictorSettings* settings;
    enum Kind { kTiff, kRgb } kind;
    SourceBytes tiff;
    RgbSamples rgb;
};
// The stages of RunJob for a job given in memory: the names that messages cite, the settings
// read by the job file's rules, the picture, the settings of the job and the encoder driver;
// the stream is coded into the instance's stream buffer. 0 finished, -1 failed, 1 cancelled.
[[nodiscard]] int RunMemoryJob(const MemoryJob& memory);
// The stem of a job path ends at its first kJobExtension, searched over the whole path.
constexpr char kJobExtension[] = ".tp";
// Characters of `path` before its stem's end.
[[nodiscard]] size_t JobStemLength(const char* path);
// Stem of the job parameter file path (up to the first ".tp") into `stem`
// (at least kMaxJobPathLength + 1 bytes); -1 after code 47 when the path is too long.
[[nodiscard]] int StripJobExtension(const char* path, char* stem);

#endif
