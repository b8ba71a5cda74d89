#include "tiff/tiff_detect.h"

#include "api/registry.h"
#include "messages/codes.h"
#include "messages/report.h"
#include "tiff/tiff_directory.h"
#include "tiff/tiff_fields.h"

int DetectSourceType(const char* path) {
    FILE* file = TrackedOpen(path, "rb");
    if (file == nullptr) {
        ReportError(kMsgCannotOpenSource, path);
        return -1;
    }
    // Both marks read the same in either byte order.
    uint32_t mark = ReadTiffValue(file, 0, 2);
    int result = 0;
    if (mark == 0x4949) {
        gTiffFields.byteOrder = kLittleEndian;
        result = 1;
    } else if (mark == 0x4D4D) {
        gTiffFields.byteOrder = kBigEndian;
        result = 1;
    }
    TrackedClose(file);
    return result;
}
