#include "convert/convert_source.h"

#include "api/registry.h"
#include "convert/colour.h"
#include "convert/planes.h"
#include "messages/codes.h"
#include "messages/report.h"
#include "params/settings.h"
#include "tiff/tiff_directory.h"
#include "tiff/tiff_fields.h"
#include "tiff/tiff_strips.h"

PicturePlanes gPlanes;

void ResetPicturePlanes() { gPlanes = PicturePlanes{}; }

namespace {

uint64_t RoundUp16(int32_t v) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(v)) + 15) / 16 * 16;
}

bool Take(uint8_t** plane, uint64_t bytes) {
    *plane = static_cast<uint8_t*>(TrackedAlloc(bytes, 1));
    if (*plane != nullptr) return true;
    SeverityOf(kConditionOutOfMemory, 0);
    return false;
}

}  // namespace

int AllocatePicturePlanes() {
    uint64_t w = static_cast<uint32_t>(gSettings.FrameWidth);
    uint64_t h = static_cast<uint32_t>(gSettings.FrameHeight);
    uint64_t coded = RoundUp16(gSettings.FrameWidth) * RoundUp16(gSettings.FrameHeight);
    if (!Take(&gPlanes.y, coded) || !Take(&gPlanes.cb, coded / 2) ||
        !Take(&gPlanes.cr, coded / 2) || !Take(&gPlanes.red, w * h) ||
        !Take(&gPlanes.green, w * h) || !Take(&gPlanes.blue, w * h)) {
        return -1;
    }
    return 0;
}

int ConvertSourcePicture(const char* path) {
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
    if (AllocatePicturePlanes() != 0) return -1;
    if (ReadTiffRaster(file) != 0) return -1;
    if (gTiffFields.orientation != 1) ApplyOrientation();
    ConvertRgbToYCbCr();
    TrackedClose(file);
    TrackedFree(gPlanes.red);
    TrackedFree(gPlanes.green);
    TrackedFree(gPlanes.blue);
    gPlanes.red = gPlanes.green = gPlanes.blue = nullptr;
    return 0;
}
