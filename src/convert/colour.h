// Orientation fix and fixed-point RGB to Y/Cb/Cr conversion of the working planes.
#ifndef PICTOR_CONVERT_COLOUR_H
#define PICTOR_CONVERT_COLOUR_H

#include <cstdint>

// Puts the working planes the right way up for orientation 2, 3 or 4; 0, or
// -1 when the copies cannot be allocated (planes unchanged).
int ApplyOrientation();
// Y, Cb, Cr picture planes from the working planes (chroma of pixel pairs).
void ConvertRgbToYCbCr();

// One pixel's luma, and the chroma of a pixel pair, as the planes receive them.
uint8_t LumaOf(int red, int green, int blue);
void ChromaOfPair(const uint8_t rgb0[3], const uint8_t rgb1[3], uint8_t* cb, uint8_t* cr);

#endif
