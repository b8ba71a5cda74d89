// Every input of the command line as a job, -j of them at once: pictures on encoder instances,
// one a thread of the command's own process; job parameter files in worker processes.
#ifndef PICTOR_TOOLS_CLI_BATCH_H
#define PICTOR_TOOLS_CLI_BATCH_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli_command_line.h"
#include "cli_display.h"
#include "cli_output.h"
#include "cli_summary.h"

// Runs every input of the command line, -j at a time; returns the exit status of the whole.
int RunBatch(const CommandLine& line);

// Where a batch's words go: the stream's or JSON's use of standard output
// sends the summaries to standard error.
struct Sinks {
    FILE* summaries = stdout;
    FILE* json = nullptr;  // standard output for "--json -", else collected
    std::string jsonText;
    Destination jsonFile;
};

// How a batch ends: the worst of its jobs, a cancellation above a failure.
struct Tally {
    size_t finished = 0, failed = 0, cancelled = 0;
    void Add(int status);
    int Status() const;
};

// What a batch tells of its jobs, from the one thread that prints: each job as it ends, the
// jobs it never began, and its closing line.
class BatchTeller {
public:
    BatchTeller(const CommandLine& line, const std::vector<std::string>& destinations,
                Sinks* sinks);
    BatchDisplay& display() { return display_; }
    void Tell(size_t index, int status, const ToldJob& told);
    // Jobs `first` onwards were never begun; returns the batch's exit status.
    int Finish(size_t first);

private:
    void NeverStarted(size_t index);

    const CommandLine& line_;
    const std::vector<std::string>& destinations_;
    Sinks* sinks_;
    BatchDisplay display_;
    Tally tally_;
    std::vector<std::pair<size_t, std::string>> failures_;  // each failed job and its cause
};

// How many jobs run at once: -j, or one for each processor the command may use.
size_t BatchWidth(const CommandLine& line);
// The processors this process may run on.
size_t Processors();

// Pictures (encode) on encoder instances, a thread each.
int RunThreadBatch(const CommandLine& line, const std::vector<std::string>& destinations,
                   BatchTeller* teller);
// Job parameter files (run) in worker processes: a process runs one job of its own.
int RunProcessBatch(const CommandLine& line, const std::vector<std::string>& destinations,
                    BatchTeller* teller);

#endif
