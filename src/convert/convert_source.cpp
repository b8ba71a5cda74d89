#include "convert/convert_source.h"

#include "api/registry.h"
#include "convert/planes.h"
#include "messages/codes.h"
#include "messages/report.h"
#include "tiff/tiff_directory.h"
#include "tiff/tiff_fields.h"
#include "tiff/tiff_strips.h"

PicturePlanes gPlanes;

void ResetPicturePlanes() { gPlanes = PicturePlanes{}; }

namespace {

uint64_t RoundUp16(uint32_t v) { return (uint64_t{v} + 15) / 16 * 16; }

bool Take(uint8_t** plane, uint64_t bytes) {
    *plane = static_cast<uint8_t*>(TrackedAlloc(bytes, 1));
    return *plane != nullptr;
}

}  // namespace

int AllocatePicturePlanes(uint32_t width, uint32_t height) {
    uint64_t w = width;
    uint64_t h = height;
    uint64_t coded = RoundUp16(width) * RoundUp16(height);
    if (!Take(&gPlanes.y, coded) || !Take(&gPlanes.cb, coded / 2) ||
        !Take(&gPlanes.cr, coded / 2) || !Take(&gPlanes.red, w * h) ||
        !Take(&gPlanes.green, w * h) || !Take(&gPlanes.blue, w * h)) {
        return -1;
    }
    return 0;
}

int ConvertSourcePicture(const char* path, ColourLevels levels) {
    FILE* file = TrackedOpen(path, "rb");
    if (file == nullptr) {
        ReportError(kMsgCannotOpenSource, path);
        return -1;
    }
    ResetTiffFields();
    if (ReadTiffDirectory(file, RecordTiffField) != 0) return -1;
    CheckTiffLayout();
    if (gTiffFields.status & kTiffUnsupported) {
        ReportError(kMsgNotSupportedImage, path);
        return -1;
    }
    const uint32_t width = gTiffFields.imageWidth;
    const uint32_t height = gTiffFields.imageLength;
    if (AllocatePicturePlanes(width, height) != 0) return -1;
    if (ReadTiffRaster(file, RgbPlanes{gPlanes.red, gPlanes.green, gPlanes.blue}) != 0) return -1;
    const uint16_t orientation = gTiffFields.orientation;
    if (orientation != 1 && ApplyOrientation(gPlanes, width, height, orientation) != 0) return -1;
    ConvertRgbToYCbCr(gPlanes, width, height, levels);
    TrackedClose(file);
    TrackedFree(gPlanes.red);
    TrackedFree(gPlanes.green);
    TrackedFree(gPlanes.blue);
    gPlanes.red = gPlanes.green = gPlanes.blue = nullptr;
    return 0;
}
