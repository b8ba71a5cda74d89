// One job in a worker process of its own, and the messages it tells the command by.
#ifndef PICTOR_TOOLS_CLI_WORKER_H
#define PICTOR_TOOLS_CLI_WORKER_H

#include <signal.h>

#include <string>

#include "cli_command_line.h"

// Messages from a worker process to the command that started it, each a kind
// byte, a four-byte length and the text.
enum class WorkerMessage : char {
    kProgress = 'p',  // "45", or "45 cancelling"
    kNote = 'n',      // a line to show now
    kErrors = 'e',    // what is told of the job at its end (ToldJob)
    kSummary = 's',
    kJson = 'j',
};

bool SendMessage(int fd, WorkerMessage kind, const std::string& text);
// Takes the first whole message off the front of `buffer`; false when none is whole.
bool TakeMessage(std::string* buffer, WorkerMessage* kind, std::string* text);

// In a process just forked for one job (interrupts blocked, `unblocked` the
// mask to restore): runs the job, tells the command through `fd` and exits
// with the job's status.
[[noreturn]] void RunWorker(const CommandLine& line, const std::string& input,
                            const std::string& destination, int fd, const sigset_t& unblocked);

#endif
