// Fitting a picture of any size into the frame of a standard and a display aspect.
//
// Samples are not square: the frame's display aspect covers the active picture
// of a BT.601 line, not all 720 samples of it. The pixel aspect ratios (display
// width of one sample over its height) are those of BT.601 sampling at 13.5 MHz:
//
//   PAL  720x576, 4:3   59:54   active width 702 samples (52 us)
//   PAL  720x576, 16:9  118:81  active width 702
//   NTSC 720x480, 4:3   10:11   active width 704
//   NTSC 720x480, 16:9  40:33   active width 704
//
// (702 x 59/54 = 767 square samples for PAL's 768, 704 x 10/11 = 640 for NTSC.)
// Source pictures are taken to have square pixels.
//
// pad:     the whole picture, at its own display aspect, as large as fits in the
//          active width and all lines; the rest is the pad colour.
// crop:    the picture at its own display aspect covers all 720 samples and all
//          lines; what lies outside is cut off equally on both sides.
// stretch: the picture scaled to all 720 samples and all lines, aspect ignored.
#ifndef PICTOR_TOOLS_MEDIA_FIT_H
#define PICTOR_TOOLS_MEDIA_FIT_H

#include <string>

#include "media/picture.h"

enum class FitMode { kPad, kCrop, kStretch };

// "pad", "crop" or "stretch".
bool ParseFitMode(const std::string& text, FitMode* mode);

struct Frame {
    int width = 720;
    int height = 576;
    int activeWidth = 702;  // samples that the display aspect covers
    int aspectNum = 59;     // pixel aspect ratio, num:den
    int aspectDen = 54;
};

// pal: 720x576, else 720x480; wide: 16:9 anamorphic, else 4:3.
Frame FrameFor(bool pal, bool wide);

// Where the scaled picture lands: its scaled size, and the position of its top
// left corner in the frame (negative when crop cuts it off).
struct Placement {
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
};
Placement PlacePicture(int width, int height, FitMode mode, const Frame& frame);

// The RGB that the library's conversion turns into black at video levels
// (Y 16, Cb = Cr = 128) in each level mode: 0 (RGB 0-255 scaled into 16-235)
// wants RGB 0; 1 and 2 (RGB passed through at full range) want RGB 16.
Rgb8 StudioBlack(int levelMode);

// Scales `in` into `frame` with libswscale's Lanczos filter, per colour plane.
bool FitPicture(const RgbPicture& in, FitMode mode, const Frame& frame, const Rgb8& padColour,
                RgbPicture* out, std::string* error);

#endif
