// The pictor command: its command line and the run of one job.
#ifndef PICTOR_TOOLS_CLI_H
#define PICTOR_TOOLS_CLI_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "media/fit.h"
#include "media/picture.h"
#include "output.h"
#include "pictor/pictor.h"
#include "summary.h"

// Exit statuses; 64 is the usual "command line usage error".
constexpr int kExitFinished = 0;
constexpr int kExitFailed = 1;
constexpr int kExitCancelled = 2;
constexpr int kExitUsage = 64;

// Options that both subcommands pass to the library.
struct JobFlags {
    int32_t extendedAnalysis = 0;
    int32_t progressiveStill = 0;
    int32_t levelMode = 0;  // 0 video, 1 full range wide clip, 2 full range
};

// The command line as read, by the table of options in cli_options.cpp.
enum class Command { kNone, kRun, kEncode };

// The settings `encode` writes into the job parameter file it makes.
struct EncodeSettings {
    long long target = 0;
    bool targetGiven = false;
    std::string standard;  // PAL or NTSC
    std::string aspect;    // 4:3 or 16:9
    bool panScan = false;
    long long panScanVector = 0;
    // A picture of a size the job does not take is scaled into the frame only with --fit.
    bool fit = false;
    FitMode fitMode = FitMode::kPad;
    Rgb8 background;  // under the transparent parts of a picture
};

struct CommandLine {
    Command command = Command::kNone;
    std::vector<std::string> inputs;  // job parameter files or pictures
    std::string stream;               // run --stream
    std::string output;               // encode -o
    std::string outDir;               // encode --out-dir
    EncodeSettings encode;
    JobFlags flags;
    int jobs = 0;  // -j: jobs at once; 0 for one per processor
    bool quiet = false;
    bool shortSummary = false;
    std::string json;     // --json FILE, or "-" for standard output
    std::string preview;  // --preview FILE.png: the decoded picture
    bool measure = true;  // decode the stream and compare it with the coded planes
    bool noClobber = false;
    bool help = false;
    bool version = false;
};

// 0 when the command line is complete; kExitUsage after saying what is wrong.
int ParseCommandLine(int argc, char** argv, CommandLine* line);
void PrintHelp(FILE* to);
// Prints "pictor: <message>" and the hint to --help; returns kExitUsage.
int UsageError(const std::string& message);

// One line of a job parameter file with words on it, as the library reads it:
// in pieces of at most 255 characters, cut at "#", key and value the first two words.
struct JobFileLine {
    int number = 0;  // 1 for the file's first line
    std::string key;
    std::string value;
};
// False when the file cannot be read.
bool ReadJobFileLines(const std::string& path, std::vector<JobFileLine>* lines);
// The target the job codes towards: its first TARGET_SIZE, clamped. False without one.
bool JobTarget(const std::vector<JobFileLine>& lines, const JobFlags& flags, long long* target);

// Warnings about how the job file will be read (numbers read in part, targets
// clamped, keys in lower case), each a line for the user.
std::vector<std::string> JobFileWarnings(const std::string& jobFile,
                                         const std::vector<JobFileLine>& lines,
                                         const JobFlags& flags);
// What may have failed a job whose error text is empty.
std::string SilentFailureHint(const std::string& jobFile, const std::vector<JobFileLine>& lines);

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

// Runs Pictor on a thread of its own while this one reports its progress and
// turns interrupts into a cancel request; wakes as soon as the job ends.
// Returns Pictor's result; `cancelRequested` tells whether a cancel was asked.
int RunJobWatched(JobContext* context, JobReporter* reporter, bool* cancelRequested);

// A fresh private folder whose path leaves `room` characters for a job file
// name within the library's path limit; empty string on failure.
std::string MakeWorkDir(size_t room);
// Removes the folder and everything in it, without following links.
void RemoveWorkDir(const std::string& dir);
// Links `target` at `link` (absolute target); copies it when linking fails. 0 or -1.
int LinkOrCopy(const std::string& target, const std::string& link);
std::string AbsolutePath(const std::string& path);
// Every occurrence of `from` in `text` replaced by `to`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

// A job made ready in a private folder: what the library is given, what the
// stream must not replace, and how the library's words name the user's files.
struct PreparedJob {
    std::string work;         // the private folder, removed by whoever made it
    std::string jobFileName;  // the job file inside it
    std::vector<GuardedFile> guarded;
    std::vector<std::pair<std::string, std::string>> renames;  // private name, user's name
    bool hasTarget = false;
    long long target = 0;               // the target the library will use
    std::vector<std::string> warnings;  // about the job, before it runs
    std::string silentFailureHint;      // for a failure without a message
    // Set when the library refuses the job file's path before reading or
    // writing anything: the job then runs where the file lies, so it says why.
    std::string refusedDir;
    // The TIFF the library reads, as the job's folder holds it: the coded
    // planes are computed from it. Empty when the job names none.
    std::string codedPicture;
    // When the library refuses the picture: the user's picture to explain
    // (run), or the explanation itself (encode, which already read it).
    std::string refusedPicture;
    std::string pictureRefusal;
    // encode: what the summary says of a converted picture ("PNG 1920x1080, ...").
    std::string conversion;
};

// Where the stream of `input` goes: run --stream or beside the job file;
// encode -o, or --out-dir with the picture's name and .m2v.
std::string DestinationOf(const CommandLine& line, const std::string& input);
// Makes and fills the private folder `job->work` of one job; "" or what went wrong.
std::string PrepareRun(const CommandLine& line, const std::string& jobFile, PreparedJob* job);
std::string PrepareEncode(const CommandLine& line, const std::string& picture, PreparedJob* job);
// encode: the picture handed to the library in `job->work`/still (the user's
// file linked as it is, or an RGB TIFF converted from it) under the name the
// job file gives it, `sourceName`. "" or why the picture cannot be coded.
std::string PreparePicture(const CommandLine& line, const std::string& picture,
                           const std::string& sourceName, PreparedJob* job);
// Lines added after the library's own error text: what keeps it from the
// picture and the fix, when it refused one.
std::vector<std::string> RefusalHints(const std::string& errorText, const PreparedJob& job);
// Decodes the finished stream `stream`, compares it with the planes coded
// from job.codedPicture, and writes the preview to `preview` when asked.
void MeasureQuality(const CommandLine& line, const PreparedJob& job, const std::string& stream,
                    const Destination& preview, JobSummary* summary);
// One job from its input to its delivered stream.
JobSummary RunOneJob(const CommandLine& line, const std::string& input,
                     const std::string& destination, JobReporter* reporter);
// What is told of a job: for standard error the library's error text first,
// then the command's notes; the summary for people; the JSON line.
struct ToldJob {
    std::string errors;
    std::string summary;
    std::string json;
};
// `batch`: the job is one of several, named by the batch's own line.
ToldJob TellJob(const JobSummary& summary, const CommandLine& line, bool batch);

// Runs every input of the command line, -j at a time, each in a worker
// process of its own; returns the exit status of the whole.
int RunBatch(const CommandLine& line);

#endif
