// pictor: the command-line front of the library.
#include <signal.h>

#include <cstdio>

#include "cli_batch.h"
#include "cli_command_line.h"
#include "cli_help.h"
#include "cli_options.h"
#include "pictor/pictor.h"

int main(int argc, char** argv) {
    CommandLine line;
    if (ParseCommandLine(argc, argv, &line) != 0) return kExitUsage;
    if (line.help) {
        PrintHelp(stdout);
        return kExitFinished;
    }
    if (line.version) {
        std::printf("pictor %s\n", PICTOR_VERSION_STRING);
        return kExitFinished;
    }
    // A reader that goes away and a file size limit are write errors, not deaths.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    return RunBatch(line);
}
