// Shared pieces of the media tests: pictures made by real writers, jobs run
// through the library, and measurements on RGB pictures and planes.
#ifndef PICTOR_TESTS_MEDIA_MEDIA_TEST_SUPPORT_H
#define PICTOR_TESTS_MEDIA_MEDIA_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/picture.h"

// Runs a shell command; fails the test (and returns false) when it exits non-zero.
bool Make(const std::string& command);
// 'path' quoted for the shell.
std::string Q(const std::string& path);

// What ImageMagick decodes from a picture file, alpha removed over `background`
// ("#RRGGBB"), as 8-bit RGB; empty when it cannot.
RgbPicture DecodeWithImageMagick(const std::string& path, const std::string& background, int width,
                                 int height);
// Largest difference of any sample; -1 when the sizes differ.
int MaxDifference(const RgbPicture& a, const RgbPicture& b);

// Codes `tiffPath` as workDir/still/pic.tif through the library; the stream path,
// or empty when the job failed (the error text goes to the test log).
std::string EncodeTiff(const std::string& workDir, const std::string& tiffPath, bool pal, bool wide,
                       int target, int levelMode);

// Extent of the samples above `threshold` in a plane: first and last column and row.
struct Extent {
    int left = -1, right = -1, top = -1, bottom = -1;
    int Width() const { return right - left + 1; }
    int Height() const { return bottom - top + 1; }
};
Extent ExtentAbove(const uint8_t* plane, int width, int height, int step, int threshold);

// 1920 x 1080 (or any size): mid grey, a white disc of the given radius at the centre.
RgbPicture DiscPicture(int width, int height, int radius);

#endif
