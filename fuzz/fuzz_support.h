// What the fuzz targets and the soak program share: a scratch folder per process, small TIFF
// pictures, and one job run through the public entry point under a watchdog, followed by the
// checks every job must pass (result and status agree, a finished stream is whole and within
// the size limit, nothing left open or allocated).
#ifndef PICTOR_FUZZ_FUZZ_SUPPORT_H
#define PICTOR_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pictor/pictor.h"

namespace fuzz {

// Largest stream a finished job may leave, in bits.
constexpr long kMaxStreamBits = 1800000;

// Prints the message and aborts, so a fuzzer and a replay both stop on it.
[[noreturn]] void Fail(const char* what, const std::string& detail = std::string());

// This process's own folder (made on first use, removed at exit), with a still/ inside.
const std::string& ScratchDir();
void WriteFile(const std::string& path, const uint8_t* data, size_t size);
void WriteFile(const std::string& path, const std::string& text);
std::vector<uint8_t> ReadFile(const std::string& path);
void RemoveFile(const std::string& path);

// Entries of /proc/self/fd.
int OpenDescriptors();
// Resident set size in kilobytes (/proc/self/statm).
long ResidentKilobytes();

// An uncompressed, one-strip RGB TIFF of width x height pixels; rgb holds R G B per pixel.
std::vector<uint8_t> MakeRgbTiff(int width, int height, const std::vector<uint8_t>& rgb,
                                 bool bigEndian);

struct JobSwitches {
    int32_t extendedAnalysis = 0;
    int32_t progressiveStill = 0;
    int32_t levelMode = 0;
};

struct GuardedJob {
    int result = -99;
    int32_t status = -99;
    int32_t progress = -99;
    bool watchdogFired = false;  // the job was cancelled because it ran too long
    std::string errorText;
};

// A replay gives every job kReplayWatchdogSeconds, far beyond any job's need even in a debug
// build with sanitizers, and a job still running then is a failure (not cancelled).
constexpr double kReplayWatchdogSeconds = 60.0;
void UseReplayRules();

// Runs Pictor on workDir/jobFileName. A job still running after `watchdogSeconds` is cancelled
// (its cancel word set to 1) so that a job that would never end cannot stall the caller; with
// PICTOR_FUZZ_HANG_ABORT=1 in the environment it aborts instead. `input` is saved into
// $PICTOR_FUZZ_HANG_DIR (when set) for every job the watchdog had to stop. With
// PICTOR_FUZZ_VERBOSE set, every job's result and error text go to standard error.
GuardedJob RunGuardedJob(const std::string& workDir, const std::string& jobFileName,
                         const JobSwitches& switches, double watchdogSeconds,
                         const uint8_t* input = nullptr, size_t inputSize = 0);

// The checks after every job: result and status agree with progress 100, a finished job's stream
// (at streamPath) is whole and at most kMaxStreamBits, and no descriptor (compared with
// `descriptorsBefore`), tracked block or tracked file is left. Fails on any breach.
void CheckJobEnd(const GuardedJob& job, const std::string& streamPath, int descriptorsBefore);

// Blocks and files the library's registries still hold (both 0 after every job).
int TrackedBlocksLeft();
int TrackedFilesLeft();

}  // namespace fuzz

#endif
