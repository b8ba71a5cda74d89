// Real decoders as checkers of the streams Pictor writes.
#ifndef PICTOR_TESTS_SUPPORT_DECODERS_H
#define PICTOR_TESTS_SUPPORT_DECODERS_H

#include <cstdint>
#include <string>
#include <vector>

struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y;   // width x height
    std::vector<uint8_t> cb;  // width/2 x height/2
    std::vector<uint8_t> cr;
};

struct DecoderVerdict {
    std::string ffmpegMessages;  // what `ffmpeg -v error` printed; must be empty
    int ffmpegStatus = -1;
    DecodedPicture ffmpeg;  // one frame, 4:2:0
    int mpeg2decStatus = -1;
    int mpeg2decFrames = 0;
    DecodedPicture mpeg2dec;
};

// Decodes an elementary stream with ffmpeg and with libmpeg2's mpeg2dec, each picture at the size
// the stream gives (width x height is what the caller expects).
DecoderVerdict DecodeStream(const std::string& streamPath, int width, int height);
// PSNR in dB of two sample arrays of equal size (99 when identical).
double Psnr(const uint8_t* a, const uint8_t* b, size_t count);
// gtest-friendly summary: empty when both decoders accepted the stream silently
// and agree with each other to the sample.
std::string DecoderProblems(const DecoderVerdict& verdict, int width, int height);

#endif
