// One job of the command, from its input to its delivered stream.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli_command_line.h"
#include "cli_files.h"
#include "cli_hints.h"
#include "cli_job.h"
#include "cli_measure.h"
#include "cli_one_job.h"
#include "cli_output.h"
#include "cli_prepare.h"
#include "cli_program_stream.h"
#include "cli_summary.h"
#include "door/library_door.h"
#include "pictor/pictor.h"

namespace {

// A stream never exceeds 1,800,000 bits.
constexpr size_t kLargestStream = 225000;

// A stream coded into memory: `size` bytes at `bytes`.
struct CodedStream {
    const unsigned char* bytes = nullptr;
    size_t size = 0;
};

// Room for this thread's streams, kept from job to job and never cleared: the library writes
// the stream into it, and only what it wrote is read.
unsigned char* StreamRoom() {
    thread_local std::unique_ptr<unsigned char[]> room(
        new (std::nothrow) unsigned char[kLargestStream]);
    return room.get();
}

// How one job is coded: when it began, where its progress goes, and the instance it may use.
struct JobRun {
    double start;
    JobReporter* reporter;
    const InstanceJob* instance;
};

double Now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

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

// Codes the job through its job file on a thread watched by this one; the stream is left in the
// job's folder. False when the job could not be started.
bool CodeFromJobFile(const CommandLine& line, const PreparedJob& job, JobReporter* reporter,
                     int* result, bool* cancelRequested, JobSummary* s) {
    const std::string unwritten = WritePendingJobFile(line, s->input, job);
    if (!unwritten.empty()) {
        s->notes.push_back(unwritten);
        return false;
    }
    if (!LinkPendingPicture(job)) {
        s->notes.push_back(std::string("cannot prepare the work folder: ") + std::strerror(errno));
        return false;
    }
    char errorText[1024] = {};
    const bool inPlace = !job.refusedDir.empty();
    auto context =
        NewJobContext(inPlace ? job.refusedDir : job.work, job.jobFileName, line.flags, errorText);
    if (context == nullptr) {
        s->notes.push_back("the job file's path is too long");
        return false;
    }
    *result = RunJobWatched(context.get(), reporter, cancelRequested, &s->libraryOutput);
    s->errorText = Renamed(errorText, job);
    return true;
}

// Codes the prepared picture on the instance from memory, with the names its job file would
// give messages, into `stream`. False when the job could not be started.
bool CodeOnInstance(const CommandLine& line, const PreparedJob& job, const InstanceJob& instance,
                    const FileBytes& tiff, JobReporter* reporter, int* result, CodedStream* stream,
                    JobSummary* s) {
    PictorSettings settings = EncodeJobSettings(line);
    const std::string jobPath = job.work + "/" + job.jobFileName;
    settings.jobName = jobPath.c_str();
    settings.pictureName = job.codedPicture.c_str();
    unsigned char* const room = StreamRoom();
    if (room == nullptr) {
        s->notes.push_back("no memory for the job's stream");
        return false;
    }
    PictorStream out{room, kLargestStream, 0, nullptr, nullptr};
    // Each job codes as a new process's first job did, whatever ran on the instance before.
    if (PictorResetCarried(instance.encoder) != 0) {
        s->notes.push_back("the job's encoder is busy");
        return false;
    }
    reporter->Progress(0, false);
    {
        ThreadOutput caught(&s->libraryOutput);
        *result = PictorEncodeTiff(instance.encoder, &settings, tiff.data(), tiff.size(), &out,
                                   instance.state);
    }
    // The job file's run cites the job file by its name alone.
    PreparedJob named = job;
    named.renames.insert(named.renames.begin(), {jobPath, job.jobFileName});
    s->errorText = Renamed(instance.state->errorText, named);
    *stream = CodedStream{room, *result == PICTOR_FINISHED ? out.size : 0};
    return true;
}

// The job keeps the pan-scan window within the picture's width: an offset it moved is told, as
// a --target outside the job's range is.
void WarnPanScanClamped(const CommandLine& line, JobSummary* s) {
    const EncodeSettings& e = line.encode;
    if (line.command != Command::kEncode || !e.panScan || !s->facts.panScan ||
        s->facts.panScanOffset == e.panScanVector)
        return;
    s->notes.push_back("warning: --pan-scan " + std::to_string(e.panScanVector) +
                       " is outside what the job takes; the window's offset is " +
                       std::to_string(s->facts.panScanOffset) + " (1/16 samples)");
}

// Whether a stream coded into memory is delivered from there: no later step of the job reads it
// from the work folder (the quality measure and the program stream's mux do).
bool DeliveredFromMemory(const CommandLine& line, const std::string& destination) {
    return !line.measure && line.preview.empty() && StreamFormOf(line, destination) == "es";
}

// The facts of the finished stream, coded into `coded` (in memory) or left in the work folder.
bool FindStreamFacts(const PreparedJob& job, const CodedStream* coded, JobSummary* s) {
    const int found = coded != nullptr ? StreamFactsOf(coded->bytes, coded->size, &s->facts)
                                       : ReadStreamFacts(WrittenStream(job), &s->facts);
    if (found == 0) return true;
    s->notes.push_back("the job's stream holds no sequence header");
    return false;
}

// Codes the prepared job, on the instance when given one for a picture it can read, and
// delivers its stream.
void CodeAndDeliver(const CommandLine& line, const PreparedJob& job, const Destination& destination,
                    const JobRun& where, JobSummary* s) {
    int result = PICTOR_FAILED;
    bool cancelRequested = false;
    FileBytes read;
    // The user's TIFF as its checks read it, or the file the job codes read now.
    const bool readBefore = job.pictureBytes != nullptr && !job.linkedPicture.empty();
    const FileBytes& tiff = readBefore ? *job.pictureBytes : read;
    CodedStream coded;
    const bool onInstance =
        where.instance != nullptr && line.command == Command::kEncode &&
        (readBefore || read.Read(job.linkedPicture.empty() ? job.codedPicture : job.linkedPicture));
    if (onInstance) {
        if (!CodeOnInstance(line, job, *where.instance, tiff, where.reporter, &result, &coded, s))
            return;
        cancelRequested = __atomic_load_n(&where.instance->state->cancel, __ATOMIC_RELAXED) != 0;
    } else if (!CodeFromJobFile(line, job, where.reporter, &result, &cancelRequested, s)) {
        return;
    }
    if (result != PICTOR_FINISHED) return Unfinished(result, cancelRequested, job, s);

    const std::string written = WrittenStream(job);
    const bool inMemory = onInstance && DeliveredFromMemory(line, destination.given);
    if (onInstance && !inMemory &&
        (!MakeNamedWorkDir(job.work) || !WriteWholeFile(written, coded.bytes, coded.size))) {
        s->notes.push_back(WorkFolderFailure(s->output, job.work, errno));
        return;
    }
    if (!FindStreamFacts(job, inMemory ? &coded : nullptr, s)) return;
    WarnPanScanClamped(line, s);
    std::string delivered;
    const std::string made =
        StreamToDeliver(line, destination.given, written, job.work, &delivered, s);
    if (!made.empty()) {
        s->notes.push_back(made);
        return;
    }
    const DeliveryWatch watch{NoteWaiting, WaitInterrupted, InterruptFd(), where.reporter};
    bool cancelled = false;
    const std::string problem =
        inMemory ? DeliverStreamBytes(coded.bytes, coded.size, destination, STDOUT_FILENO, watch,
                                      &cancelled)
                 : DeliverStream(delivered, destination, STDOUT_FILENO, watch, &cancelled);
    s->seconds = Now() - where.start;
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
                     const std::string& destinationGiven, JobReporter* reporter,
                     const InstanceJob* instance) {
    JobSummary s;
    s.input = input;
    s.output = destinationGiven;
    s.outputName = destinationGiven;
    const double start = Now();
    PreparedJob job;
    // Only jobs on threads of this process: a worker process ends with _exit, which would leave
    // the process's folder behind.
    job.deferWork = instance != nullptr;
    std::string problem = line.command == Command::kRun ? PrepareRun(line, input, &job)
                                                        : PrepareEncode(line, input, &job);
    s.hasTarget = job.hasTarget;
    s.target = job.target;
    s.notes = job.warnings;
    s.conversion = job.conversion;
    s.placement = job.placement;
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
        CodeAndDeliver(line, job, destination, {start, reporter, instance}, &s);
        if (s.status == kExitFinished) MeasureQuality(line, job, WrittenStream(job), preview, &s);
    } else {
        s.notes.push_back(problem);
    }
    RemoveWorkDir(job.work);
    reporter->End(s.status == kExitFinished);
    return s;
}
