// A finished stream decoded, the fourth stage of the command: its quality against the
// planes the library coded, its quantisers, and the preview.
#ifndef PICTOR_TOOLS_CLI_MEASURE_H
#define PICTOR_TOOLS_CLI_MEASURE_H

#include <string>

#include "cli_command_line.h"
#include "cli_output.h"
#include "cli_prepare.h"
#include "cli_summary.h"

// Decodes the finished stream `stream`, compares it with the planes coded
// from job.codedPicture, and writes the preview to `preview` when asked.
void MeasureQuality(const CommandLine& line, const PreparedJob& job, const std::string& stream,
                    const Destination& preview, JobSummary* summary);

#endif
