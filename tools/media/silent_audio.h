// A silent AC-3 track for a program stream, from libavcodec's encoder loaded at its first use.
#ifndef PICTOR_TOOLS_MEDIA_SILENT_AUDIO_H
#define PICTOR_TOOLS_MEDIA_SILENT_AUDIO_H

#include <cstdint>
#include <string>
#include <vector>

// The track's form: 48 kHz stereo AC-3, the form every DVD player decodes.
constexpr int kSilenceRate = 48000;
constexpr int kSilenceChannels = 2;
constexpr int kSilenceBitRate = 192000;
constexpr int kSilenceFrameSamples = 1536;  // of one AC-3 frame

// The AC-3 frames of a silence lasting at least `ticks` of a 90 kHz clock, in their order.
// "" or what went wrong.
std::string EncodeSilence(int64_t ticks, std::vector<std::vector<uint8_t>>* frames);

#endif
