#include "tiff/tiff_detect.h"

#include "messages/codes.h"
#include "messages/report.h"
#include "runtime/registry.h"
#include "tiff/tiff_directory.h"

int DetectSourceType(const char* path) {
    FILE* file = OpenJobSource(path);
    if (file == nullptr) {
        Report<kMsgCannotOpenSource>(path);
        return -1;
    }
    // Both marks read the same in either byte order; the directory reader sets the order.
    const uint32_t mark = ReadTiffValue(file, 0, 2);
    TrackedClose(file);
    return mark == 0x4949 || mark == 0x4D4D ? 1 : 0;
}
