// Any TIFF that libtiff's RGBA interface reads: every compression it was built
// with, strips or tiles, chunky or planar, 1 to 16 bits, grey, palette, RGB,
// CMYK, YCbCr, with or without alpha; turned upright by its Orientation.
#include <vector>

#include "media/picture_decoders.h"
#include "media/tiff_handle.h"

bool DecodeTiff(const std::string& path, const Rgb8& background, RgbPicture* out,
                std::string* error) {
    TiffHandle handle(path, "r");
    TIFF* tif = handle.get();
    if (tif == nullptr) {
        *error = "libtiff cannot read it: " + handle.ErrorOr("no picture directory");
        return false;
    }
    uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height)) {
        *error = "the TIFF directory has no picture size";
        return false;
    }
    if (!SizeWithinLimits(width, height, error)) return false;
    char reason[1024] = "";
    if (!TIFFRGBAImageOK(tif, reason)) {
        *error = std::string("libtiff cannot convert it to RGB: ") + reason;
        return false;
    }
    std::vector<uint32_t> raster(static_cast<size_t>(uint64_t{width} * height));
    handle.ClearMessages();
    if (!TIFFReadRGBAImageOriented(tif, width, height, raster.data(), ORIENTATION_TOPLEFT, 1) ||
        handle.messages().errors > 0) {
        *error = "libtiff cannot decode it: " + handle.ErrorOr("read error");
        return false;
    }
    // libtiff hands alpha over premultiplied, and 255 where the picture has none.
    out->width = static_cast<int>(width);
    out->height = static_cast<int>(height);
    out->rgb.resize(raster.size() * 3);
    uint8_t* p = out->rgb.data();
    for (uint32_t pixel : raster) {
        const unsigned a = TIFFGetA(pixel);
        *p++ = OverPremultiplied(TIFFGetR(pixel), a, background.r);
        *p++ = OverPremultiplied(TIFFGetG(pixel), a, background.g);
        *p++ = OverPremultiplied(TIFFGetB(pixel), a, background.b);
    }
    return true;
}
