// The table of options behind the parser (cli_options.cpp) and --help (cli_help.cpp).
#ifndef PICTOR_TOOLS_CLI_OPTION_TABLE_H
#define PICTOR_TOOLS_CLI_OPTION_TABLE_H

#include <cstddef>
#include <string>

#include "cli_command_line.h"

// Which subcommands take an option; kGeneral ones are answered before any job.
constexpr unsigned kRun = 1;
constexpr unsigned kEncode = 2;
constexpr unsigned kBoth = kRun | kEncode;
constexpr unsigned kGeneral = 4;

// Stores an option's value (nullptr for a switch); returns what is wrong with it, or "".
using Apply = std::string (*)(CommandLine* line, const char* value);

struct Option {
    const char* name;   // "--output"
    char letter;        // 'o' for -o, or 0
    const char* value;  // "OUT", or nullptr for a switch
    unsigned commands;
    const char* help;  // lines of the help text, '\n' between them
    Apply apply;
};

// Every option, in the order --help lists them.
struct OptionTable {
    const Option* first;
    size_t count;
    const Option* begin() const { return first; }
    const Option* end() const { return first + count; }
};
OptionTable Options();

#endif
