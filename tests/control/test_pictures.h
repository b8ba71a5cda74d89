// Source pictures for encoder tests, as the conversion hands them over.
#ifndef PICTOR_TESTS_CONTROL_TEST_PICTURES_H
#define PICTOR_TESTS_CONTROL_TEST_PICTURES_H

#include <cstdint>
#include <string>
#include <vector>

#include "control/encoder.h"

enum class PictureKind { kFlatGrey, kGradient, kEdges, kNatural, kNoise };

// Y is width x height; Cb and Cr are (width / 2) x height.
struct SourcePicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y, cb, cr;
};

// kNatural is the astronaut photograph scaled to the size (ImageMagick).
SourcePicture MakePicture(PictureKind kind, int width, int height);
const char* KindName(PictureKind kind);
PlanesJob JobFor(const SourcePicture& picture, int32_t target, const std::string& streamPath);

#endif
