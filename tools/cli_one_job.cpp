// One job of the command, from its input to its delivered stream.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "cli_command_line.h"
#include "cli_files.h"
#include "cli_hints.h"
#include "cli_job.h"
#include "cli_measure.h"
#include "cli_one_job.h"
#include "cli_output.h"
#include "cli_prepare.h"
#include "cli_summary.h"
#include "door/library_door.h"
#include "pictor/pictor.h"

namespace {

double Now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The library prints its warnings on standard output; they are caught while
// it runs, so that a stream sent to standard output stays clean.
class CaughtStdout {
public:
    CaughtStdout() {
        std::fflush(stdout);
        file_ = std::tmpfile();
        saved_ = file_ != nullptr ? dup(STDOUT_FILENO) : -1;
        if (saved_ >= 0 && dup2(fileno(file_), STDOUT_FILENO) < 0) {
            close(saved_);
            saved_ = -1;
        }
    }
    ~CaughtStdout() { Release(); }
    // Puts standard output back; what was printed meanwhile.
    std::string Release() {
        std::string text;
        if (saved_ < 0) return text;
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        saved_ = -1;
        std::rewind(file_);
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;)
            text.append(buffer, n);
        std::fclose(file_);
        return text;
    }

private:
    FILE* file_ = nullptr;
    int saved_ = -1;
};

void NoteWaiting(void* reporter, const std::string& path) {
    static_cast<JobReporter*>(reporter)->Note("waiting for a reader of " + path);
}

bool WaitInterrupted(void*) { return Interrupted(); }

std::string Renamed(std::string text, const PreparedJob& job) {
    for (const auto& rename : job.renames) text = ReplaceAll(text, rename.first, rename.second);
    return text;
}

// A job that did not finish: what the library said, and the command's note.
void Unfinished(int result, bool cancelRequested, const PreparedJob& job, JobSummary* s) {
    if (result == PICTOR_CANCELLED && cancelRequested) {
        s->status = kExitCancelled;
        return;
    }
    s->status = kExitFailed;
    if (result == PICTOR_CANCELLED) {
        // The library ends a job this way also when the stream cannot be
        // written or a coding pass fails; nobody asked it to stop.
        s->notes.push_back(
            "the job stopped unfinished: its stream could not be written, "
            "or a coding pass failed");
    } else if (s->errorText.empty()) {
        s->notes.push_back("the job failed without a message");
        if (!job.silentFailureHint.empty()) s->notes.push_back(job.silentFailureHint);
    } else {
        for (const std::string& hint : RefusalHints(s->errorText, job)) s->notes.push_back(hint);
    }
}

std::string WrittenStream(const PreparedJob& job) {
    return job.work + "/" + rules::Stem(job.jobFileName) + ".ts";
}

// Codes the prepared job and delivers its stream.
void CodeAndDeliver(const CommandLine& line, const PreparedJob& job, const Destination& destination,
                    double start, JobReporter* reporter, JobSummary* s) {
    char errorText[1024] = {};
    const bool inPlace = !job.refusedDir.empty();
    auto context =
        NewJobContext(inPlace ? job.refusedDir : job.work, job.jobFileName, line.flags, errorText);
    if (context == nullptr) {
        s->notes.push_back("the job file's path is too long");
        return;
    }
    CaughtStdout caught;
    bool cancelRequested = false;
    const int result = RunJobWatched(context.get(), reporter, &cancelRequested);
    s->libraryOutput = caught.Release();
    s->errorText = Renamed(errorText, job);
    if (result != PICTOR_FINISHED) return Unfinished(result, cancelRequested, job, s);

    const std::string written = WrittenStream(job);
    if (ReadStreamFacts(written, &s->facts) != 0) {
        s->notes.push_back("the job's stream holds no sequence header");
        return;
    }
    const DeliveryWatch watch{NoteWaiting, WaitInterrupted, InterruptFd(), reporter};
    bool cancelled = false;
    const std::string problem =
        DeliverStream(written, destination, STDOUT_FILENO, watch, &cancelled);
    s->seconds = Now() - start;
    if (!problem.empty()) {
        s->status = cancelled ? kExitCancelled : kExitFailed;
        s->notes.push_back(problem);
        return;
    }
    s->status = kExitFinished;
    s->hasStream = true;
}

}  // namespace

JobSummary RunOneJob(const CommandLine& line, const std::string& input,
                     const std::string& destinationGiven, JobReporter* reporter) {
    JobSummary s;
    s.input = input;
    s.output = destinationGiven;
    s.outputName = destinationGiven;
    const double start = Now();
    PreparedJob job;
    std::string problem = line.command == Command::kRun ? PrepareRun(line, input, &job)
                                                        : PrepareEncode(line, input, &job);
    s.hasTarget = job.hasTarget;
    s.target = job.target;
    s.notes = job.warnings;
    s.conversion = job.conversion;
    Destination destination, preview;
    if (problem.empty() && job.refusedDir.empty()) {
        problem = PrepareDestination(destinationGiven, line.noClobber, job.guarded, &destination);
        s.outputName = DestinationName(destination);
    }
    if (problem.empty() && !line.preview.empty()) {
        std::vector<GuardedFile> guarded = job.guarded;
        guarded.push_back({destinationGiven, "the stream"});
        problem = PrepareDestination(line.preview, line.noClobber, guarded, &preview);
        if (!problem.empty()) problem = "--preview: " + problem;
    }
    if (problem.empty()) {
        CodeAndDeliver(line, job, destination, start, reporter, &s);
        if (s.status == kExitFinished) MeasureQuality(line, job, WrittenStream(job), preview, &s);
    } else {
        s.notes.push_back(problem);
    }
    RemoveWorkDir(job.work);
    reporter->End(s.status == kExitFinished);
    return s;
}
