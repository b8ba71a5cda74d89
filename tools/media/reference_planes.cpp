#include "media/reference_planes.h"

#include <utility>

#include "door/library_door.h"

bool ReferencePlanesFromTiff(const std::string& tiffPath, int levelMode, YuvPlanes* out,
                             std::string* error) {
    CodedPlanes planes;
    if (!LibraryCodedPlanes(tiffPath, levelMode, &planes, error)) return false;
    out->width = planes.width;
    out->height = planes.height;
    out->y = std::move(planes.y);
    out->cb = std::move(planes.cb);
    out->cr = std::move(planes.cr);
    return true;
}
