// The command line read by the table of options (cli_option_table.cpp).
#ifndef PICTOR_TOOLS_CLI_OPTIONS_H
#define PICTOR_TOOLS_CLI_OPTIONS_H

#include <string>

#include "cli_command_line.h"

// 0 when the command line is complete; kExitUsage after saying what is wrong.
int ParseCommandLine(int argc, char** argv, CommandLine* line);
// Prints "pictor: <message>" and the hint to --help; returns kExitUsage.
int UsageError(const std::string& message);

#endif
