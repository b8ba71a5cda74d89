// A coded still wrapped for a DVD: an MPEG-2 program stream of 2048-byte packs through
// libavformat's DVD muxer, loaded at its first use like the scaler.
#ifndef PICTOR_TOOLS_MEDIA_PROGRAM_STREAM_H
#define PICTOR_TOOLS_MEDIA_PROGRAM_STREAM_H

#include <string>

// The DVD mux rate, in bits per second.
constexpr long long kDvdMuxRate = 10080000;

// What the muxer needs to know of the still, and what it adds.
struct ProgramStreamRequest {
    int width = 0, height = 0;
    int frameRateCode = 3;     // of the sequence header: 3 = 25 Hz, 4 = 30000/1001 Hz
    bool silentAudio = false;  // a silent AC-3 track as long as the still
};

// What the muxer made.
struct ProgramStreamFacts {
    long long bytes = 0;
    int runInMs = 0;  // from the first pack's clock to the still's decoding time
};

// The run-in, in milliseconds, that lets a still of `esBytes` arrive whole at the DVD mux
// rate before it is decoded, its packs' headers and a margin counted.
int RunInMs(long long esBytes);

// Wraps the elementary stream at `esPath` (one coded still, its sequence end code last) into a
// DVD program stream at `psPath`, the still shown for one frame. "" when written, otherwise
// what went wrong (the muxer's own complaints included).
std::string WriteProgramStream(const std::string& esPath, const std::string& psPath,
                               const ProgramStreamRequest& request, ProgramStreamFacts* facts);

#endif
