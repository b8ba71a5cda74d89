// The command's picture front end on any bytes: told apart by its first bytes, decoded, turned
// upright, fitted into a frame and placed, as pictor encode does before the library sees it.
// The first byte picks the fit (pad, crop, stretch), the standard and the aspect; the rest is
// the file. A refusal is fine; a decoded picture must be within the limits and fit the frame.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "guarded_job.h"
#include "media/fit.h"
#include "media/picture_input.h"
#include "media/vertical_filter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const FitMode modes[] = {FitMode::kPad, FitMode::kCrop, FitMode::kStretch, FitMode::kPad};
    const FitMode mode = modes[data[0] & 3];
    const bool pal = (data[0] & 4) != 0, wide = (data[0] & 8) != 0;
    const std::string path = fuzz::ScratchDir() + "/picture";
    WriteFileBytes(path, std::vector<uint8_t>(data + 1, data + size));
    RgbPicture picture;
    PictureFacts facts;
    std::string error;
    if (!ReadPicture(path, Rgb8{51, 102, 204}, &picture, &error, &facts)) {
        if (error.empty()) fuzz::Fail("refused without a reason");
        return 0;
    }
    const uint64_t pixels = uint64_t(picture.width) * uint64_t(picture.height);
    if (picture.width <= 0 || picture.height <= 0 || pixels > kMaxPicturePixels ||
        picture.rgb.size() != pixels * 3)
        fuzz::Fail("decoded beyond the limits or not of its size", error);
    if (facts.orientation < 1 || facts.orientation > 8 || facts.frames < 1)
        fuzz::Fail("facts out of range");
    const Frame frame = FrameFor(pal, wide);
    RgbPicture fitted;
    if (!FitPicture(picture, mode, frame, Rgb8{}, &fitted, &error))
        fuzz::Fail("decoded, but it does not fit the frame", error);
    if (fitted.width != frame.width || fitted.height != frame.height ||
        fitted.rgb.size() != size_t(frame.width) * size_t(frame.height) * 3)
        fuzz::Fail("fitted to another size than the frame's");
    const PlacedPicture placed = DescribePlacement(picture.width, picture.height, mode, frame);
    if (placed.activeX < 0 || placed.activeY < 0 || placed.activeWidth < 1 ||
        placed.activeHeight < 1 || placed.activeX + placed.activeWidth > frame.width ||
        placed.activeY + placed.activeHeight > frame.height || !(placed.scaleX > 0) ||
        !(placed.scaleY > 0))
        fuzz::Fail("placed outside the frame", PlacementJson(placed));
    SoftenLines(&fitted);
    return 0;
}
