// Every call into the library's internal build is in this file.
#include "media/reference_planes.h"

#include <cstring>

#include "api/job_records.h"
#include "control/encoder.h"
#include "convert/convert_source.h"
#include "convert/planes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "params/settings.h"
#include "runtime/registry.h"
#include "tiff/tiff_fields.h"

namespace {

void ReleaseLibraryState() {
    FreeAllTracked();
    CloseAllTracked();
    ResetJobRecords();
    BindErrorText(nullptr, kModulePictor);
}

}  // namespace

bool ReferencePlanesFromTiff(const std::string& tiffPath, int levelMode, YuvPlanes* out,
                             std::string* error) {
    ReleaseLibraryState();
    char errorText[1024] = "";
    BindErrorText(errorText, kModulePictor);
    ColourLevels levels;
    levels.fullRange = (levelMode == 1 || levelMode == 2) ? 1 : 0;
    levels.wideClip = levelMode == 1 ? 1 : 0;
    std::strncpy(gMessageNames.pictureName, tiffPath.c_str(), sizeof gMessageNames.pictureName - 1);

    bool ok = ConvertSourcePicture(tiffPath.c_str(), levels) == 0;
    EncoderSettings& s = gSettings;
    if (ok) {
        s.FrameWidth = static_cast<int32_t>(gTiffFields.imageWidth);
        s.FrameHeight = static_cast<int32_t>(gTiffFields.imageLength);
        s.XMBlock = s.MBlockPerSlice = s.FrameWidth / 16;
        s.YMBlock = s.FrameHeight / 16;
        ok = DeriveSettings() == 0 && s.CodedXOffset == 0 && s.CodedYOffset == 0 &&
             DecimateChroma() == 0;
    }
    if (ok) {
        const int w = s.FrameWidth, h = s.FrameHeight;
        const size_t luma = size_t(w) * h, chroma = size_t(w / 2) * (h / 2);
        out->width = w;
        out->height = h;
        out->y.assign(gPlanes.y, gPlanes.y + luma);
        // After the decimation the first h / 2 rows of each chroma plane hold 4:2:0.
        out->cb.assign(gPlanes.cb, gPlanes.cb + chroma);
        out->cr.assign(gPlanes.cr, gPlanes.cr + chroma);
    } else {
        *error = errorText[0] != '\0' ? errorText : "the library cannot convert " + tiffPath;
        while (!error->empty() && error->back() == '\n') error->pop_back();
    }
    ReleaseLibraryState();
    return ok;
}
