// The pictor command: shared pieces of its subcommands.
#ifndef PICTOR_TOOLS_CLI_H
#define PICTOR_TOOLS_CLI_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "pictor/pictor.h"

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
    bool quiet = false;
};

// What a finished job wrote, read back from the stream's headers.
struct StreamFacts {
    long long bits = 0;
    int width = 0;
    int height = 0;
    int aspectCode = 0;     // aspect_ratio_information
    int frameRateCode = 0;  // 3 = 25 Hz (PAL), 4 = 29.97 Hz (NTSC)
    int progressive = -1;   // progressive_sequence, -1 when no sequence extension
};

// Runs Pictor on a worker thread while this thread shows its progress on
// standard error and turns Ctrl-C into a cancel request. Returns Pictor's
// result. `cancelRequested` tells whether the user asked the job to stop.
int RunJobWatched(JobContext* context, const JobFlags& flags, bool* cancelRequested);
// Prints the error text and what became of an unfinished job on standard
// error; returns the exit status (1 failed, 2 cancelled).
int ReportOutcome(int result, bool cancelRequested, const std::string& errorText,
                  const std::string& streamPath);

// 0 when the headers were found.
int ReadStreamFacts(const std::string& path, StreamFacts* facts);
void PrintSummary(const std::string& path, const StreamFacts& facts, long long target);

// A fresh private folder; empty string on failure.
std::string MakeWorkDir();
// Removes the folder and everything in it, without following links.
void RemoveWorkDir(const std::string& dir);
// Links `target` at `link` (absolute target); copies it when linking fails. 0 or -1.
int LinkOrCopy(const std::string& target, const std::string& link);
// Moves `from` to `to` so that `to` is either complete or untouched. 0 or -1.
int MoveFile(const std::string& from, const std::string& to);
std::string AbsolutePath(const std::string& path);
// Every occurrence of `from` in `text` replaced by `to`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

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
};

struct CommandLine {
    Command command = Command::kNone;
    std::vector<std::string> inputs;  // job parameter files or pictures
    std::string stream;               // run --stream
    std::string output;               // encode -o
    EncodeSettings encode;
    JobFlags flags;
    bool help = false;
    bool version = false;
};

// 0 when the command line is complete; kExitUsage after saying what is wrong.
int ParseCommandLine(int argc, char** argv, CommandLine* line);
void PrintHelp(FILE* to);
// Prints "pictor: <message>" and the hint to --help; returns kExitUsage.
int UsageError(const std::string& message);

// A zeroed context for the job file `jobFileName` in `workDir`, with the
// options and the error-text buffer (1024 bytes) set; nullptr when a path does
// not fit its field.
std::unique_ptr<JobContext> NewJobContext(const std::string& workDir,
                                          const std::string& jobFileName, const JobFlags& flags,
                                          char* errorText);

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

int CommandRun(const CommandLine& line);
int CommandEncode(const CommandLine& line);

#endif
