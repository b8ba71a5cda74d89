// A job parameter file read as the library reads it, for what the command says of a job.
#ifndef PICTOR_TOOLS_CLI_JOB_FILE_H
#define PICTOR_TOOLS_CLI_JOB_FILE_H

#include <string>
#include <vector>

#include "cli_command_line.h"

// One line of a job parameter file with words on it, as the library reads it:
// in pieces of at most 255 characters, cut at "#", key and value the first two words.
struct JobFileLine {
    int number = 0;  // 1 for the file's first line
    std::string key;
    std::string value;
};
// False when the file cannot be read.
bool ReadJobFileLines(const std::string& path, std::vector<JobFileLine>* lines);
// The target the job codes towards: its first TARGET_SIZE, clamped. False without one.
bool JobTarget(const std::vector<JobFileLine>& lines, const JobFlags& flags, long long* target);

#endif
