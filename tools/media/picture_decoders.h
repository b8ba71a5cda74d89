// The three decoders behind ReadPicture; each writes 8-bit RGB with alpha
// composited over the background, or fails with a message.
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

// False with a message when width x height is empty or larger than the limits
// of picture.h; checked before anything is allocated for the picture.
bool SizeWithinLimits(uint64_t width, uint64_t height, std::string* error);

// Colour c under alpha a over background b, for straight (unassociated) alpha.
inline uint8_t OverStraight(unsigned c, unsigned a, unsigned b) {
    return static_cast<uint8_t>((c * a + b * (255 - a) + 127) / 255);
}
// The same for colour already multiplied by its alpha.
inline uint8_t OverPremultiplied(unsigned c, unsigned a, unsigned b) {
    const unsigned v = c + (b * (255 - a) + 127) / 255;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}

#endif
