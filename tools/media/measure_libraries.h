// libmpeg2 (a stream's measure) and libpng (a preview), loaded when first needed: a job with
// --no-measure and no preview starts without them and the zlib they bring.
#ifndef PICTOR_TOOLS_MEDIA_MEASURE_LIBRARIES_H
#define PICTOR_TOOLS_MEDIA_MEASURE_LIBRARIES_H

#include <png.h>

#include <cstdint>
extern "C" {
#include <mpeg2.h>
}

#include <string>

// The functions the command calls, with the libraries' own types.
struct Mpeg2Library {
    decltype(&mpeg2_init) Init;
    decltype(&mpeg2_close) Close;
    decltype(&mpeg2_info) Info;
    decltype(&mpeg2_parse) Parse;
    decltype(&mpeg2_buffer) Buffer;
    decltype(&mpeg2_getpos) GetPos;
};
struct PngLibrary {
    decltype(&png_image_write_to_stdio) WriteToStdio;
    decltype(&png_image_free) Free;
};

// The library the command was built with, loaded once for the life of the process; null with
// `error` when it cannot be.
const Mpeg2Library* LibMpeg2(std::string* error);
const PngLibrary* LibPng(std::string* error);

#endif
