// What the command adds to a job's own messages: warnings about how the job file will be
// read, and hints when the library's words leave the cause out.
#ifndef PICTOR_TOOLS_CLI_HINTS_H
#define PICTOR_TOOLS_CLI_HINTS_H

#include <string>
#include <vector>

#include "cli_command_line.h"
#include "cli_job_file.h"
#include "cli_prepare.h"

// Warnings about how the job file will be read (numbers read in part, targets
// clamped, keys in lower case), each a line for the user.
std::vector<std::string> JobFileWarnings(const std::string& jobFile,
                                         const std::vector<JobFileLine>& lines,
                                         const JobFlags& flags);
// What may have failed a job whose error text is empty.
std::string SilentFailureHint(const std::string& jobFile, const std::vector<JobFileLine>& lines);
// Lines added after the library's own error text: what keeps it from the
// picture and the fix, when it refused one.
std::vector<std::string> RefusalHints(const std::string& errorText, const PreparedJob& job);

#endif
