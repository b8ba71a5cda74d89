// The command line as read, the first stage of the command: what is asked of it.
#ifndef PICTOR_TOOLS_CLI_COMMAND_LINE_H
#define PICTOR_TOOLS_CLI_COMMAND_LINE_H

#include <cstdint>
#include <string>
#include <vector>

#include "media/fit.h"
#include "media/picture.h"

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

enum class Command { kNone, kRun, kEncode };

// The settings `encode` writes into the job parameter file it makes.
struct EncodeSettings {
    long long target = 0;
    bool targetGiven = false;
    std::string standard;  // PAL or NTSC
    std::string aspect;    // 4:3 or 16:9
    bool panScan = false;
    long long panScanVector = 0;
    // A picture of a size the job does not take is scaled into the frame by fitMode (kNone:
    // refused); `fit` tells whether --fit chose it.
    bool fit = false;
    FitMode fitMode = FitMode::kPad;
    Rgb8 background;  // under the transparent parts of a picture
    // --deflicker: a vertical low-pass of the picture for interlaced display.
    bool deflicker = false;
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
    // --safe-area: the preview shows the title- and action-safe areas.
    bool safeArea = false;
    bool noClobber = false;
    bool help = false;
    bool version = false;
    std::string format;        // --format es|dvd; "" follows the destination's extension
    bool silentAudio = false;  // --silent-audio: a program stream gets a silent track
};

#endif
