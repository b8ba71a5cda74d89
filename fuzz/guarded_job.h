// What the fuzz targets and the soak program add to the tests' support: a scratch folder per
// process, and one job run through the public entry point under a watchdog, followed by the
// checks every job must pass (result and status agree, a finished stream is whole and within
// the size limit, nothing left open or allocated).
#ifndef PICTOR_FUZZ_GUARDED_JOB_H
#define PICTOR_FUZZ_GUARDED_JOB_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/files.h"
#include "support/job_runner.h"
#include "support/tiff_writer.h"

namespace fuzz {

// Largest stream a finished job may leave, in bits.
constexpr long kMaxStreamBits = 1800000;

// Prints the message and aborts, so a fuzzer and a replay both stop on it.
[[noreturn]] void Fail(const char* what, const std::string& detail = std::string());

// This process's own folder (made on first use, removed at exit), with a still/ inside.
const std::string& ScratchDir();

// A replay gives every job kReplayWatchdogSeconds, far beyond any job's need even in a debug
// build with sanitizers, and a job still running then is a failure (not cancelled).
constexpr double kReplayWatchdogSeconds = 60.0;
void UseReplayRules();

// Runs Pictor on ScratchDir()/job.tp, writing job.ts there, then CheckJobEnd. A job still
// running after `watchdogSeconds` is cancelled (its cancel word set to 1) so that a job that
// would never end cannot stall the caller; with PICTOR_FUZZ_HANG_ABORT=1 in the environment it
// aborts instead. `input` is saved into $PICTOR_FUZZ_HANG_DIR (when set) for every job the
// watchdog had to stop. With PICTOR_FUZZ_VERBOSE set, every job's result and error text go to
// standard error. Returns the job's outcome.
JobOutcome RunCheckedJob(const JobOptions& options, double watchdogSeconds, const uint8_t* input,
                         size_t inputSize);

// The checks after every job: result and status agree with progress 100, a finished job's stream
// (at streamPath) is whole and at most kMaxStreamBits, and no descriptor (compared with
// `descriptorsBefore`), tracked block or tracked file is left. Fails on any breach.
void CheckJobEnd(const JobOutcome& job, const std::string& streamPath, long descriptorsBefore);

}  // namespace fuzz

#endif
