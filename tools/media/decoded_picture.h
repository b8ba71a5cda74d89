// What every decoder shares, below them all: the size check made before anything is
// allocated for a picture, and alpha composited over the background.
#ifndef PICTOR_TOOLS_MEDIA_DECODED_PICTURE_H
#define PICTOR_TOOLS_MEDIA_DECODED_PICTURE_H

#include <cstdint>
#include <string>

#include "media/picture.h"

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
