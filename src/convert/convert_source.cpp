#include "convert/convert_source.h"

#include <cstring>

#include "convert/planes.h"
#include "messages/codes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "runtime/registry.h"
#include "tiff/picture_sizes.h"
#include "tiff/tiff_fields.h"
#include "tiff/tiff_probe.h"
#include "tiff/tiff_strips.h"

thread_local PicturePlanes* tPlanes = nullptr;

void ResetPicturePlanes() { *tPlanes = PicturePlanes{}; }

namespace {

uint64_t RoundUp16(uint32_t v) { return (uint64_t{v} + 15) / 16 * 16; }

// Pixels of a band of working rows: its three planes and the rows they become stay in the cache.
constexpr uint64_t kBandPixels = 32 * 1024;

bool Take(uint8_t** plane, uint64_t bytes) {
    *plane = static_cast<uint8_t*>(TrackedAlloc(bytes, 1));
    return *plane != nullptr;
}

// The conversion of the raster's bands as they come, top row first.
struct Banding {
    PicturePlanes planes;  // the picture planes, and the band as working planes
    uint32_t width;
    uint32_t rowsDone;
    ColourLevels levels;
};

void ConvertBand(void* context, uint32_t firstRow, uint32_t rows) {
    Banding* b = static_cast<Banding*>(context);
    ConvertRgbToYCbCr(b->planes, b->width, firstRow, rows, b->levels);
    b->rowsDone = firstRow + rows;
}

// Rows of RGB pixels as the strip holds them, converted without the band.
void ConvertPixels(void* context, const uint8_t* pixels, uint64_t rowBytes, uint32_t firstRow,
                   uint32_t rows) {
    Banding* b = static_cast<Banding*>(context);
    ConvertInterleavedRgb(pixels, static_cast<int64_t>(rowBytes), b->planes, b->width, firstRow,
                          rows, b->levels);
    b->rowsDone = firstRow + rows;
}

// The turned picture's working planes, whole: each band is copied to its place.
struct WholePlanes {
    PicturePlanes planes;
    RgbPlanes band;
    uint64_t width;
};

void PlaceBand(void* context, uint32_t firstRow, uint32_t rows) {
    WholePlanes* w = static_cast<WholePlanes*>(context);
    const uint64_t at = firstRow * w->width;
    const size_t bytes = static_cast<size_t>(rows * w->width);
    std::memcpy(w->planes.red + at, w->band.red, bytes);
    std::memcpy(w->planes.green + at, w->band.green, bytes);
    std::memcpy(w->planes.blue + at, w->band.blue, bytes);
}

void FreeWorkingPlanes(const RgbPlanes& planes) {
    TrackedFree(planes.red);
    TrackedFree(planes.green);
    TrackedFree(planes.blue);
}

// The raster converted band by band; rows the strips do not give convert as black, as their
// zero-filled working rows would.
int ConvertInBands(FILE* file, const RgbPlanes& band, uint32_t bandRows, uint32_t width,
                   uint32_t height, ColourLevels levels) {
    PicturePlanes planes = *tPlanes;
    planes.red = band.red;
    planes.green = band.green;
    planes.blue = band.blue;
    Banding banding{planes, width, 0, levels};
    if (ReadTiffRaster(file, RasterBands{band, bandRows, ConvertBand, &banding, ConvertPixels}) !=
        0)
        return -1;
    const size_t bandBytes = static_cast<size_t>(uint64_t{bandRows} * width);
    if (banding.rowsDone < height) {
        std::memset(band.red, 0, bandBytes);
        std::memset(band.green, 0, bandBytes);
        std::memset(band.blue, 0, bandBytes);
    }
    for (uint32_t row = banding.rowsDone; row < height; row += bandRows) {
        const uint32_t rows = height - row < bandRows ? height - row : bandRows;
        ConvertRgbToYCbCr(planes, width, row, rows, levels);
    }
    return 0;
}

// The whole raster, turned the right way up, then converted.
int ConvertTurned(FILE* file, const RgbPlanes& band, uint32_t bandRows, uint32_t width,
                  uint32_t height, uint16_t orientation, ColourLevels levels) {
    const uint64_t pixels = uint64_t{width} * height;
    WholePlanes whole{*tPlanes, band, width};
    int result = Take(&whole.planes.red, pixels) && Take(&whole.planes.green, pixels) &&
                         Take(&whole.planes.blue, pixels)
                     ? 0
                     : -1;
    if (result == 0)
        result = ReadTiffRaster(file, RasterBands{band, bandRows, PlaceBand, &whole, nullptr});
    if (result == 0) result = ApplyOrientation(whole.planes, width, height, orientation);
    if (result == 0) ConvertRgbToYCbCr(whole.planes, width, 0, height, levels);
    FreeWorkingPlanes(RgbPlanes{whole.planes.red, whole.planes.green, whole.planes.blue});
    return result;
}

}  // namespace

int AllocatePicturePlanes(uint32_t width, uint32_t height) {
    uint64_t coded = RoundUp16(width) * RoundUp16(height);
    if (!Take(&tPlanes->y, coded) || !Take(&tPlanes->cb, coded / 2) ||
        !Take(&tPlanes->cr, coded / 2))
        return -1;
    return 0;
}

int ConvertSourcePicture(const char* path, ColourLevels levels) {
    FILE* file = OpenJobSource(path);
    if (file == nullptr) {
        Report<kMsgCannotOpenSource>(path);
        return -1;
    }
    if (ReadTiffLayout(file, path) != 0) return -1;
    const uint32_t width = tTiffFields->imageWidth;
    const uint32_t height = tTiffFields->imageLength;
    if (AllocatePicturePlanes(width, height) != 0) return -1;
    const uint64_t fit = width == 0 ? height : kBandPixels / width;
    const uint32_t bandRows = static_cast<uint32_t>(fit < 1 ? 1 : fit < height ? fit : height);
    const uint64_t bandBytes = uint64_t{bandRows} * width;
    RgbPlanes band{nullptr, nullptr, nullptr};
    int result =
        Take(&band.red, bandBytes) && Take(&band.green, bandBytes) && Take(&band.blue, bandBytes)
            ? 0
            : -1;
    const uint16_t orientation = tTiffFields->orientation;
    if (result == 0 && orientation == 1)
        result = ConvertInBands(file, band, bandRows, width, height, levels);
    else if (result == 0)
        result = ConvertTurned(file, band, bandRows, width, height, orientation, levels);
    FreeWorkingPlanes(band);
    if (result != 0) return -1;
    TrackedClose(file);
    return 0;
}

namespace {

// The size of a picture given in memory, checked against the accepted sizes as a TIFF's fields
// are; each size that is not accepted is reported.
bool AcceptedMemorySize(uint32_t width, uint32_t height) {
    bool accepted = true;
    if (FindPictureWidth(width) == nullptr) {
        Report<kMsgWidthNotSupported>(static_cast<int>(width), tMessageNames->pictureName);
        accepted = false;
    }
    if (FindPictureHeight(height) == nullptr) {
        Report<kMsgHeightNotSupported>(static_cast<int>(height), tMessageNames->pictureName);
        accepted = false;
    }
    return accepted;
}

}  // namespace

int ConvertRgbPicture(const RgbSamples& picture, ColourLevels levels) {
    tTiffFields->imageWidth = picture.width;
    tTiffFields->imageLength = picture.height;
    if (!AcceptedMemorySize(picture.width, picture.height)) return -1;
    const uint32_t width = picture.width, height = picture.height;
    if (picture.stride < 3 * int64_t{width}) {
        Report<kMsgPictureMemory>(tMessageNames->pictureName);
        return -1;
    }
    if (AllocatePicturePlanes(width, height) != 0) return -1;
    // The caller's rows are converted where they lie, as the strips' rows are.
    ConvertInterleavedRgb(picture.pixels, picture.stride, *tPlanes, width, 0, height, levels);
    return 0;
}
