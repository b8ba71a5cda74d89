// The form a job's stream is delivered in: the elementary stream as coded, or wrapped in a DVD
// program stream, chosen by --format or by the destination's extension.
#ifndef PICTOR_TOOLS_CLI_PROGRAM_STREAM_H
#define PICTOR_TOOLS_CLI_PROGRAM_STREAM_H

#include <string>

#include "cli_command_line.h"
#include "cli_summary.h"

// "es" or "dvd": --format when given, else "dvd" for a destination ending in .mpg or .vob
// (in any case) and "es" for any other.
std::string StreamFormOf(const CommandLine& line, const std::string& destination);

// The stream to deliver for the coded one at `coded`: itself for an elementary stream, else a
// program stream made in `workFolder`. Sets the summary's form and adds its notes (a big
// elementary stream's advice for DVD multiplexers). "" or what went wrong.
std::string StreamToDeliver(const CommandLine& line, const std::string& destination,
                            const std::string& coded, const std::string& workFolder,
                            std::string* deliver, JobSummary* summary);

#endif
