// The three decoders behind ReadPicture; each writes 8-bit RGB with alpha
// composited over the background, or fails with a message. What they share lies
// below them, in decoded_picture.h.
#ifndef PICTOR_TOOLS_MEDIA_PICTURE_DECODERS_H
#define PICTOR_TOOLS_MEDIA_PICTURE_DECODERS_H

#include <string>

#include "media/picture.h"

bool DecodeTiff(const std::string& path, const Rgb8& background, RgbPicture* out,
                std::string* error);
bool DecodePng(const std::string& path, const Rgb8& background, RgbPicture* out,
               std::string* error);
bool DecodeJpeg(const std::string& path, const Rgb8& background, RgbPicture* out,
                std::string* error);

#endif
