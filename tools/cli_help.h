// pictor --help, written from the table of options.
#ifndef PICTOR_TOOLS_CLI_HELP_H
#define PICTOR_TOOLS_CLI_HELP_H

#include <cstdio>

void PrintHelp(FILE* to);

#endif
