// Every input of the command line, each a job in a worker process of its own.
#ifndef PICTOR_TOOLS_CLI_BATCH_H
#define PICTOR_TOOLS_CLI_BATCH_H

#include "cli_command_line.h"

// Runs every input of the command line, -j at a time; returns the exit status of the whole.
int RunBatch(const CommandLine& line);

#endif
