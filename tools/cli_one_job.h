// One job from its input to its delivered stream: made ready, run, measured, delivered.
#ifndef PICTOR_TOOLS_CLI_ONE_JOB_H
#define PICTOR_TOOLS_CLI_ONE_JOB_H

#include <string>

#include "cli_command_line.h"
#include "cli_job.h"
#include "cli_summary.h"
#include "pictor/pictor.h"

// An encoder instance and the state of the job it runs, which another thread may watch and
// cancel. Given one, RunOneJob codes an encode job's picture on it from memory.
struct InstanceJob {
    PictorEncoder* encoder;
    PictorJobState* state;
};

JobSummary RunOneJob(const CommandLine& line, const std::string& input,
                     const std::string& destination, JobReporter* reporter,
                     const InstanceJob* instance = nullptr);

#endif
