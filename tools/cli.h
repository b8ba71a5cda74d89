// The pictor command: shared pieces of its subcommands.
#ifndef PICTOR_TOOLS_CLI_H
#define PICTOR_TOOLS_CLI_H

#include <cstdint>
#include <string>

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
// result; the error text is left in `errorText` (1024 bytes). `cancelRequested`
// tells whether the user asked the job to stop.
int RunJobWatched(JobContext* context, char* errorText, const JobFlags& flags,
                  bool* cancelRequested);
// Prints the error text and what became of an unfinished job on standard
// error; returns the exit status (1 failed, 2 cancelled).
int ReportOutcome(int result, bool cancelRequested, const std::string& errorText,
                  const std::string& streamPath);

// 0 when the headers were found.
int ReadStreamFacts(const std::string& path, StreamFacts* facts);
void PrintSummary(const std::string& path, const StreamFacts& facts, long long target);
// Target the library works towards for a TARGET_SIZE value.
long long EffectiveTarget(long long target, const JobFlags& flags);

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

// Reads the command line of a subcommand one argument at a time.
struct ArgCursor {
    int argc;
    char** argv;
    int next;
};
// For an option that takes a value ("--name VALUE" or "--name=VALUE"): 1 with
// the value in `value` when argv[next] is that option, 0 when it is another
// argument, -1 (reported) when the value is missing.
int TakeValue(ArgCursor* args, const char* name, std::string* value);
// The options both subcommands share: 1 taken, 0 not one of them, -1 bad value.
int TakeJobFlag(ArgCursor* args, JobFlags* flags);
// Prints "pictor: <message>" and the hint to --help; returns kExitUsage.
int UsageError(const std::string& message);
// Job parameter file path up to its first ".tp", as the library cuts it.
std::string StemOf(const std::string& jobFilePath);
// The first TARGET_SIZE of a job parameter file, or -1.
long long ReadJobTarget(const std::string& jobFilePath);

int CommandRun(int argc, char** argv);
int CommandEncode(int argc, char** argv);

#endif
