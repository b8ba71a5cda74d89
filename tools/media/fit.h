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

// kNone: a picture of a size the job does not take is refused.
enum class FitMode { kPad, kCrop, kStretch, kNone };

// "pad", "crop", "stretch" or "none".
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

// Where a picture of `width` x `height` lands in `frame`, for authors drawing over it: frame
// samples per source pixel, where the source's top left corner lands (negative where crop cuts
// it off), and the rectangle of the frame it covers. kNone: taken as it is.
struct PlacedPicture {
    bool known = false;  // false: no picture was placed (a job file's run)
    Frame frame;
    FitMode mode = FitMode::kNone;
    int sourceWidth = 0;
    int sourceHeight = 0;
    double scaleX = 1;
    double scaleY = 1;
    double offsetX = 0;
    double offsetY = 0;
    int activeX = 0;
    int activeY = 0;
    int activeWidth = 0;
    int activeHeight = 0;
};
PlacedPicture DescribePlacement(int width, int height, FitMode mode, const Frame& frame);
// A picture of a size the job takes, coded as it is: its size is the frame, whose samples have
// the pixel aspect of the job's frame scaled by the sizes.
PlacedPicture AsItIs(int width, int height, const Frame& jobFrame);
const char* FitModeName(FitMode mode);
// "placement":{...} for --json, and the summary's line (placement_text.cpp).
std::string PlacementJson(const PlacedPicture& placed);
std::string PlacementText(const PlacedPicture& placed);

// Scales `in` into `frame` with libvips's Lanczos resampling. `in` may be a shrunk decode of a
// picture of `sourceWidth` x `sourceHeight` (0: `in`'s own size), which then decides the placement.
bool FitPicture(const RgbPicture& in, FitMode mode, const Frame& frame, const Rgb8& padColour,
                RgbPicture* out, std::string* error, int sourceWidth = 0, int sourceHeight = 0);

#endif
