// Orientation fix and fixed-point RGB to Y/Cb/Cr conversion of the working planes.
#ifndef PICTOR_CONVERT_COLOUR_H
#define PICTOR_CONVERT_COLOUR_H

#include <cstdint>

#include "convert/planes.h"

// The sample range of the conversion, from the job's level mode.
struct ColourLevels {
    int32_t fullRange;  // 1: scale to 0..255 instead of the video levels
    int32_t wideClip;   // 1: clip to 5..250 instead of 16..235 (luma) and 16..240 (chroma)
};
constexpr ColourLevels kVideoLevels = {0, 0};

// Puts the working planes (width x height) the right way up for orientation 2, 3 or 4; 0, or
// -1 when the copies cannot be allocated (planes unchanged).
[[nodiscard]] int ApplyOrientation(const PicturePlanes& planes, uint32_t width, uint32_t height,
                                   uint16_t orientation);
// Rows firstRow .. firstRow + rows - 1 of the Y, Cb and Cr picture planes from rows 0 .. rows - 1
// of the working planes, width pixels each (chroma of pixel pairs).
void ConvertRgbToYCbCr(const PicturePlanes& planes, uint32_t width, uint32_t firstRow,
                       uint32_t rows, const ColourLevels& levels);

// The same from rows 0 .. rows - 1 of interleaved samples (three bytes a pixel, red first), row r
// at pixels + r x stride: what ConvertRgbToYCbCr gives for the same samples in working planes.
void ConvertInterleavedRgb(const uint8_t* pixels, int64_t stride, const PicturePlanes& planes,
                           uint32_t width, uint32_t firstRow, uint32_t rows,
                           const ColourLevels& levels);

// One pixel's luma, and the chroma of a pixel pair, as the planes receive them.
[[nodiscard]] uint8_t LumaOf(int red, int green, int blue, const ColourLevels& levels);
void ChromaOfPair(const uint8_t rgb0[3], const uint8_t rgb1[3], const ColourLevels& levels,
                  uint8_t* cb, uint8_t* cr);

// The vector steps where the processor has AVX2 (false, and nothing written, elsewhere), for the
// checks that they give the formulas' results: a row of width pixels; the colour differences of
// count pixels; the chroma of count sums of a pair's differences (count a multiple of 8 both).
[[nodiscard]] bool ConvertRowVector(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                                    int32_t width, const ColourLevels& levels, uint8_t* y,
                                    uint8_t* cb, uint8_t* cr);
[[nodiscard]] bool ColourDifferencesVector(const uint8_t* red, const uint8_t* green,
                                           const uint8_t* blue, int32_t count,
                                           int32_t* blueDifferences, int32_t* redDifferences);
[[nodiscard]] bool ChromaOfSumsVector(const int32_t* sums, int32_t count,
                                      const ColourLevels& levels, uint8_t* chroma);
// The same steps one at a time as the formulas give them.
void ColourDifferencesOf(int red, int green, int blue, int32_t* blueDifference,
                         int32_t* redDifference);
[[nodiscard]] uint8_t ChromaOfSum(int32_t sum, const ColourLevels& levels);

#endif
