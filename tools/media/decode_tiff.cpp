// Any TIFF that libtiff's RGBA interface reads: every compression it was built
// with, strips or tiles, chunky or planar, 1 to 16 bits, grey, palette, RGB,
// CMYK, YCbCr, with or without alpha; turned upright by its Orientation.
#include <vector>

#include "media/decoded_picture.h"
#include "media/picture_decoders.h"
#include "media/tiff_handle.h"

namespace {

// The raster as stored, turned upright by the file's orientation, alpha over the background.
void TurnUpright(const std::vector<uint32_t>& raster, uint32_t width, uint32_t height,
                 uint16_t orientation, const Rgb8& background, RgbPicture* out) {
    // Orientations 5 to 8 store the columns as rows; 2, 3, 6 and 7 store the
    // right side first, 3, 4, 7 and 8 the bottom first (as seen upright).
    const bool swap = orientation >= ORIENTATION_LEFTTOP;
    const bool fromRight =
        orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT ||
        orientation == ORIENTATION_RIGHTTOP || orientation == ORIENTATION_RIGHTBOT;
    const bool fromBottom =
        orientation == ORIENTATION_BOTRIGHT || orientation == ORIENTATION_BOTLEFT ||
        orientation == ORIENTATION_RIGHTBOT || orientation == ORIENTATION_LEFTBOT;
    const uint32_t across = swap ? height : width, down = swap ? width : height;
    // libtiff hands alpha over premultiplied, and 255 where the picture has none.
    out->width = static_cast<int>(across);
    out->height = static_cast<int>(down);
    out->rgb.resize(raster.size() * 3);
    uint8_t* p = out->rgb.data();
    for (uint32_t y = 0; y < down; ++y) {
        for (uint32_t x = 0; x < across; ++x) {
            const uint32_t u = fromRight ? across - 1 - x : x, v = fromBottom ? down - 1 - y : y;
            const uint32_t pixel =
                swap ? raster[size_t{u} * width + v] : raster[size_t{v} * width + u];
            const unsigned a = TIFFGetA(pixel);
            *p++ = OverPremultiplied(TIFFGetR(pixel), a, background.r);
            *p++ = OverPremultiplied(TIFFGetG(pixel), a, background.g);
            *p++ = OverPremultiplied(TIFFGetB(pixel), a, background.b);
        }
    }
}

}  // namespace

bool DecodeTiff(const std::string& path, const Rgb8& background, RgbPicture* out,
                std::string* error) {
    TiffHandle handle(path, "r");
    TIFF* tif = handle.get();
    if (tif == nullptr) {
        *error = "libtiff cannot read it: " + handle.ErrorOr("no picture directory");
        return false;
    }
    const TiffLibrary& t = handle.tiff();
    uint32_t width = 0, height = 0;
    if (!t.GetField(tif, TIFFTAG_IMAGEWIDTH, &width) ||
        !t.GetField(tif, TIFFTAG_IMAGELENGTH, &height)) {
        *error = "the TIFF directory has no picture size";
        return false;
    }
    if (!SizeWithinLimits(width, height, error)) return false;
    char reason[1024] = "";
    if (!t.RgbaImageOk(tif, reason)) {
        *error = std::string("libtiff cannot convert it to RGB: ") + reason;
        return false;
    }
    // libtiff flips rows and columns but never swaps them, so the raster is read as
    // stored (the orientation asked for is the file's own) and turned upright here.
    uint16_t orientation = ORIENTATION_TOPLEFT;
    t.GetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    if (orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT)
        orientation = ORIENTATION_TOPLEFT;
    std::vector<uint32_t> raster(static_cast<size_t>(uint64_t{width} * height));
    handle.ClearMessages();
    if (!t.ReadRgbaImageOriented(tif, width, height, raster.data(), orientation, 1) ||
        handle.messages().errors > 0) {
        *error = "libtiff cannot decode it: " + handle.ErrorOr("read error");
        return false;
    }
    TurnUpright(raster, width, height, orientation, background, out);
    return true;
}
