// One job made ready, the second stage of the command: its private folder, what the library
// is given, what the stream must not replace (cli_run.cpp, cli_encode.cpp, cli_picture.cpp).
#ifndef PICTOR_TOOLS_CLI_PREPARE_H
#define PICTOR_TOOLS_CLI_PREPARE_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli_command_line.h"
#include "cli_files.h"
#include "cli_output.h"
#include "pictor/pictor.h"

// A job made ready in a private folder: what the library is given, what the
// stream must not replace, and how the library's words name the user's files.
struct PreparedJob {
    std::string work;  // the private folder, removed by whoever made it
    // Set before PrepareEncode when `work` may be only named, and made when something is first
    // put there (MakeNamedWorkDir): a job coded on an instance from memory may need none.
    bool deferWork = false;
    std::string jobFileName;  // the job file inside it
    // encode: the job file's text, written into the folder only for a job run through its file
    // (a job coded on an instance from memory never reads it).
    std::string pendingJobText;
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
    // The user's picture (its absolute path) when it is to be linked at codedPicture as it is, and
    // that link is made only when something reads the folder (LinkPendingPicture): a job coded
    // on an instance reads the picture itself.
    std::string linkedPicture;
    // The user's TIFF read whole once for a job coded on an instance: its checks and its coding
    // take it from memory. Null when it was not read.
    std::shared_ptr<const FileBytes> pictureBytes;
    // When the library refuses the picture: the user's picture to explain
    // (run), or the explanation itself (encode, which already read it).
    std::string refusedPicture;
    std::string pictureRefusal;
    // encode: what the summary says of a converted picture ("PNG 1920x1080, ...").
    std::string conversion;
    PlacedPicture placement;  // encode: where the picture lies in the coded frame
};

// Where the stream of `input` goes: run --stream or beside the job file;
// encode -o, or --out-dir with the picture's name and .m2v.
std::string DestinationOf(const CommandLine& line, const std::string& input);
// Makes and fills the private folder `job->work` of one job; "" or what went wrong.
std::string PrepareRun(const CommandLine& line, const std::string& jobFile, PreparedJob* job);
std::string PrepareEncode(const CommandLine& line, const std::string& picture, PreparedJob* job);
// encode: the pending job file written into `job.work`; "" or why it could not be written.
std::string WritePendingJobFile(const CommandLine& line, const std::string& input,
                                const PreparedJob& job);
// The picture linked at job.codedPicture when that link is pending; false (errno set) when it
// cannot be made.
bool LinkPendingPicture(const PreparedJob& job);
// encode: the job's settings for an encoder instance, the values its job file would give.
PictorSettings EncodeJobSettings(const CommandLine& line);
// encode: the picture handed to the library in `job->work`/still (the user's
// file linked as it is, or an RGB TIFF converted from it) under the name the
// job file gives it, `sourceName`. "" or why the picture cannot be coded.
std::string PreparePicture(const CommandLine& line, const std::string& picture,
                           const std::string& sourceName, PreparedJob* job);

#endif
