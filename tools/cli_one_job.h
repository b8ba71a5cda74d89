// One job from its input to its delivered stream: made ready, run, measured, delivered.
#ifndef PICTOR_TOOLS_CLI_ONE_JOB_H
#define PICTOR_TOOLS_CLI_ONE_JOB_H

#include <string>

#include "cli_command_line.h"
#include "cli_job.h"
#include "cli_summary.h"

JobSummary RunOneJob(const CommandLine& line, const std::string& input,
                     const std::string& destination, JobReporter* reporter);

#endif
