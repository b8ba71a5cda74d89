// Pictures in: which TIFFs go to the library as they are, and the decoding of every other
// picture (TIFF, PNG, JPEG, GIF, WebP, HEIF, AVIF) into 8-bit RGB for a TIFF the library accepts.
#ifndef PICTOR_TOOLS_MEDIA_PICTURE_INPUT_H
#define PICTOR_TOOLS_MEDIA_PICTURE_INPUT_H

#include <cstddef>
#include <string>

#include "media/picture.h"

enum class PictureFormat { kUnknown, kTiff, kPng, kJpeg, kGif, kWebp, kHeif, kAvif };

// A picture's file already read whole (`data` null: not read), so a check takes it from memory.
struct PictureBytes {
    const unsigned char* data = nullptr;
    size_t size = 0;
};

// From the first bytes of the file, whatever its name; kUnknown when it cannot be read.
PictureFormat DetectPictureFormat(const std::string& path, PictureBytes bytes = {});
// "TIFF", "PNG", "JPEG", "GIF", "WebP", "HEIF", "AVIF"; "picture" for kUnknown.
const char* PictureFormatName(PictureFormat format);
// What a file of no form the command reads is, in the command's words: "is empty", "is a
// folder", "is a BMP picture, which ...: convert ...", "is text, not a picture".
std::string WhatTheFileIs(const std::string& path);

// What the decoding did beyond reading the samples.
struct PictureFacts {
    int orientation = 1;            // the EXIF orientation turned upright (1: none was needed)
    bool profileConverted = false;  // an embedded colour profile converted to sRGB
    int frames = 1;                 // frames of an animation or pictures of a HEIF; the first taken
    int width = 0;                  // the upright size in the file, before any shrink on load
    int height = 0;
};

// True when the library would take the file exactly as it is and read it as libtiff does: an
// uncompressed chunky 8-bit grey or RGB TIFF in strips that cover their rows, of an accepted
// size, that the library's reader (asked through its door) and libtiff read alike, field by
// field and strip by strip. Any other picture is converted, which is always safe. `why` gets the
// reason for a no, `width` and `height` the picture's size when it is taken. Loads libtiff.
bool LibraryTakesAsIs(const std::string& path, std::string* why, int* width = nullptr,
                      int* height = nullptr, PictureBytes bytes = {});

// True when a picture of that size is one the library codes for the standard
// (pal: 25 Hz, else 30 Hz) and aspect (wide: 16:9, else 4:3); `why` gets the reason.
bool SizeSuitsJob(int width, int height, bool pal, bool wide, std::string* why);
// "widths 720, 704, 352, 176, 96; heights 480, 576, ..." for messages.
std::string AcceptedSizesText();
// The same for a job of one standard and aspect: "widths 720, 704; heights 576".
std::string JobSizesText(bool pal, bool wide);

// Any picture of the forms above, told apart by their first bytes, into 8-bit sRGB turned
// upright by its EXIF orientation; alpha is composited over `background`. False with `error`
// set for a file that cannot be read, is damaged, or is larger than kMaxPicturePixels (told from
// its header, before its pixels are decoded). keepSides > 0: a JPEG or WebP with both sides at
// least twice that may be decoded at a half, quarter or eighth of its size, both sides keeping at
// least keepSides samples; `facts` gets the size in the file.
bool ReadPicture(const std::string& path, const Rgb8& background, RgbPicture* out,
                 std::string* error, PictureFacts* facts = nullptr, int keepSides = 0);

// An uncompressed chunky 8-bit RGB TIFF in strips, which the library takes when
// the size is an accepted one. Refuses to replace an existing file.
bool WriteRgbTiff(const std::string& path, const RgbPicture& picture, std::string* error);

// One line: what libtiff finds that keeps the library from taking the file, and
// the fix. Empty when the file is not a TIFF or nothing is found.
std::string ExplainTiffRefusal(const std::string& path);

// --background: black, white, grey (gray), or #RRGGBB.
bool ParseColour(const std::string& text, Rgb8* colour);

#endif
