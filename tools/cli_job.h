// The run of one job, the third stage of the command: Pictor on a thread of its own, its
// progress reported and interrupts turned into a cancel request; the library's standard output
// kept apart for each thread that runs a job.
#ifndef PICTOR_TOOLS_CLI_JOB_H
#define PICTOR_TOOLS_CLI_JOB_H

#include <memory>
#include <string>

#include "cli_command_line.h"
#include "pictor/pictor.h"

// Ctrl-C and SIGTERM, caught as requests to cancel. With `secondEnds` the
// handlers reset themselves, so a second request ends the program at once.
void CatchInterrupts(bool secondEnds);
bool Interrupted();
// Readable once a request has come; for poll().
int InterruptFd();

// Where one job's progress goes while it runs.
class JobReporter {
public:
    virtual ~JobReporter() = default;
    virtual void Progress(int percent, bool cancelling) = 0;
    // A line to show now (the job waits for something).
    virtual void Note(const std::string& text) = 0;
    // The job has ended; `finished` when its stream was delivered.
    virtual void End(bool finished) = 0;
};

// A zeroed context for the job file `jobFileName` in `workDir`, with the
// options and the error-text buffer (1024 bytes) set; nullptr when a path does
// not fit its field.
std::unique_ptr<JobContext> NewJobContext(const std::string& workDir,
                                          const std::string& jobFileName, const JobFlags& flags,
                                          char* errorText);

// The library prints its warnings on standard output from the thread that runs the job. Once
// RouteOutputByThread has run (before any job thread starts), what a thread prints there while
// it holds a ThreadOutput is kept in that ThreadOutput's string; other threads print as ever.
void RouteOutputByThread();
class ThreadOutput {
public:
    explicit ThreadOutput(std::string* into);
    ~ThreadOutput();
    ThreadOutput(const ThreadOutput&) = delete;
    ThreadOutput& operator=(const ThreadOutput&) = delete;

private:
    std::string* previous_;
};

// Runs Pictor on a thread of its own while this one reports its progress and
// turns interrupts into a cancel request; wakes as soon as the job ends.
// Returns Pictor's result; `cancelRequested` tells whether a cancel was asked. What the job
// prints on standard output goes to `output` (see RouteOutputByThread).
int RunJobWatched(JobContext* context, JobReporter* reporter, bool* cancelRequested,
                  std::string* output);

#endif
