// What one job of the command did, and the forms in which it is told: with the delivery of the
// stream (cli_output.h), the last stage of the command.
#ifndef PICTOR_TOOLS_CLI_SUMMARY_H
#define PICTOR_TOOLS_CLI_SUMMARY_H

#include <cstddef>
#include <string>
#include <vector>

#include "cli_command_line.h"

// What a finished job wrote, read back from the stream's headers.
struct StreamFacts {
    long long bits = 0;
    int width = 0;
    int height = 0;
    int aspectCode = 0;     // aspect_ratio_information: 2 = 4:3, 3 = 16:9 display
    int frameRateCode = 0;  // 3 = 25 Hz (PAL), 4 = 29.97 Hz (NTSC)
    int progressive = -1;   // progressive_sequence, -1 when no sequence extension
    int displayWidth = 0;   // sequence display extension, 0 when none
    bool panScan = false;   // a picture display extension carries a window offset
    int panScanOffset = 0;  // frame_centre_horizontal_offset in 1/16 samples
};

// 0 when the headers were found.
int ReadStreamFacts(const std::string& path, StreamFacts* facts);
// ReadStreamFacts of the `size` bytes at `bytes`.
int StreamFactsOf(const unsigned char* bytes, size_t size, StreamFacts* facts);

// How the coded picture compares with what was coded, measured by decoding the
// stream; `measured` stays false until a step of the command measures it.
struct PictureQuality {
    bool measured = false;
    double psnrY = 0, psnrCb = 0, psnrCr = 0;
    double psnrAverage = 0;  // 6:1:1 weighted over Y, Cb, Cr
    double ssimY = 0;
    // quantiser_scale over the picture, from the slice headers (a macroblock may change it).
    bool quantiserKnown = false;
    int quantiserMin = 0, quantiserMax = 0;
};

struct JobSummary {
    bool started = true;             // false for a job a cancelled batch never began
    std::string input;               // the job file or picture, as given
    std::string output;              // where the stream goes, as given ("-": standard output)
    std::string outputName;          // how messages name it
    int status = 1;                  // exit status of the job: 0 finished, 1 failed, 2 cancelled
    std::string errorText;           // the library's lines, as it wrote them
    std::string libraryOutput;       // what the library printed on standard output
    std::vector<std::string> notes;  // the command's own warnings and hints
    double seconds = 0;              // from reading the input to the delivered stream
    std::string conversion;          // how encode converted the picture; "" when handed as it is
    PlacedPicture placement;         // encode: where the picture lies in the coded frame
    bool hasTarget = false;
    long long target = 0;  // the target the job coded towards
    bool hasStream = false;
    std::string form;              // what was delivered: "es" or "dvd" (a program stream)
    long long deliveredBytes = 0;  // of the program stream
    int runInMs = 0;  // how long before the still is due its stream must start at the DVD rate
    bool silentAudio = false;  // the program stream carries a silent track
    StreamFacts facts;
    PictureQuality quality;
};

// The summary of a finished job for people, several lines.
std::string SummaryText(const JobSummary& summary);
// The summary of a finished job in one line: output, bits, percent of the target, time.
std::string ShortSummary(const JobSummary& summary);
// Any job as one JSON object on one line, with its end-of-line.
std::string SummaryJson(const JobSummary& summary);

// What is told of a job: for standard error the library's error text first,
// then the command's notes; the summary for people; the JSON line.
struct ToldJob {
    std::string errors;
    std::string summary;
    std::string json;
};
// A note that is not a failure's cause: a warning, a hint or a note.
bool IsAside(const std::string& note);
// The one line that tells why a failed job failed, from the errors told of it.
std::string FailureCause(const std::string& errors);

// `batch`: the job is one of several, named by the batch's own line.
ToldJob TellJob(const JobSummary& summary, const CommandLine& line, bool batch);

#endif
