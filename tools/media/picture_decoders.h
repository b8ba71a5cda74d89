// The decoder behind ReadPicture: libvips, asked for the loader of the form the first bytes
// name. It writes 8-bit sRGB turned upright, alpha composited over the background, or fails
// with a message. The size check made before anything is allocated lies in decoded_picture.h.
#ifndef PICTOR_TOOLS_MEDIA_PICTURE_DECODERS_H
#define PICTOR_TOOLS_MEDIA_PICTURE_DECODERS_H

#include <string>

#include "media/picture.h"
#include "media/picture_input.h"

bool DecodeWithVips(const std::string& path, PictureFormat format, const Rgb8& background,
                    RgbPicture* out, PictureFacts* facts, std::string* error, int keepSides = 0);

#endif
