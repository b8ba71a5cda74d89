// Whole jobs through the entry points, as an authoring application runs them.
#ifndef PICTOR_TESTS_SUPPORT_JOB_RUNNER_H
#define PICTOR_TESTS_SUPPORT_JOB_RUNNER_H

#include <cstdint>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "pictor/pictor.h"

// The context's switches for one job; cancel is the cancel word the job starts with.
struct JobOptions {
    int32_t extendedAnalysis = 0;
    int32_t progressiveStill = 0;
    int32_t levelMode = 0;
    int32_t cancel = 0;
};

struct JobOutcome {
    int result = -99;
    int32_t status = -99;
    int32_t progress = -99;
    std::string errorText;
};

// Runs on its own thread while the job runs, until it returns, with the job's context (read and
// write its words with atomic operations) and `end`, ready once the job has ended.
using JobWatch = std::function<void(JobContext& context, std::future<void>& end)>;

// Pictor on workDir/jobFileName with a fresh context, and `watch` beside it when given.
JobOutcome RunPictor(const std::string& workDir, const std::string& jobFileName,
                     const JobOptions& options = JobOptions{}, const JobWatch& watch = nullptr);

// How a job reaches the library. kForDA names the job file inside the work folder and runs as
// Pictor would; kForDAPath names it by its whole path (workDir/jobFileName) and writes the
// stream to workDir/streamName.
enum class Entry { kPictor, kForDA, kForDAPath };
// The job through `entry`. A PictorForDA outcome is what the context it keeps holds: its status
// stays "running" and its progress returns to 0.
JobOutcome RunEntry(Entry entry, const std::string& workDir, const std::string& jobFileName,
                    const std::string& streamName = "", const JobOptions& options = JobOptions{});
// The line the error text holds for `code` with its expanded message.
std::string ErrorLine(int code, const std::string& message);
// A picture with edges, gradients and colour, so every coding path is used.
std::vector<uint8_t> TestPatternRgb(int width, int height);
// workDir/still/name as an uncompressed RGB TIFF of the test pattern.
void WriteStillPicture(const std::string& workDir, const std::string& name, int width, int height);
// Full-range noise in every channel, the same for the same seed.
std::vector<uint8_t> NoiseRgb(int width, int height, uint32_t seed);
// workDir/still/name as an uncompressed RGB TIFF of noise.
void WriteNoisePicture(const std::string& workDir, const std::string& name, int width, int height,
                       uint32_t seed);

#endif
