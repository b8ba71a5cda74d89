#include "support/planes_job.h"

#include <cstring>

#include "control/encoder.h"
#include "convert/planes.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "runtime/registry.h"

namespace {

uint8_t* CopyPlane(const uint8_t* source, uint64_t bytes) {
    uint8_t* plane = static_cast<uint8_t*>(TrackedAlloc(bytes, 1));
    if (plane != nullptr) std::memcpy(plane, source, bytes);
    return plane;
}

}  // namespace

// The defaults, and what a job of that picture sets apart from them.
void SetPlanesJobSettings(const PlanesJob& job) {
    EncoderSettings& s = *tSettings;
    SetDefaultSettings();
    s.FrameWidth = job.width;
    s.FrameHeight = job.height;
    s.XMBlock = s.MBlockPerSlice = job.width / 16;
    s.YMBlock = job.height / 16;
    s.DisplayHorDimen =
        (job.width == 720 || job.width == 704) ? 720 : (job.width == 352 ? 360 : job.width);
    s.DisplayVerDimen = job.height;
    s.PelAspectRatio = job.wide ? 3 : 2;
    s.FrameRate = job.pal ? 25 : 30;
    s.FrameRate_s = job.pal ? 3 : 4;
    s.VideoFormat = job.pal ? 1 : 2;
    s.ColourPrimaries = s.TransferCharact = s.MatrixCoefficients = job.pal ? 5 : 6;
    const int progressive = tSwitches->progressiveStill != 0 || job.height % 32 != 0;
    s.ProgressiveSeque = progressive ? 1 : 0;
    s.TopFieldFirst = progressive ? 0 : 1;
    s.Target = job.target;
}

int PreparePlanesJob(const PlanesJob& job) {
    if (std::strlen(job.streamPath) >= sizeof tSwitches->streamPath) return -1;
    std::strcpy(tSwitches->streamPath, job.streamPath);
    SetPlanesJobSettings(job);
    const uint64_t lumaBytes = static_cast<uint64_t>(job.width) * static_cast<uint64_t>(job.height);
    const uint64_t chromaBytes =
        static_cast<uint64_t>(job.width / 2) * static_cast<uint64_t>(job.height);
    tPlanes->y = CopyPlane(job.y, lumaBytes);
    tPlanes->cb = CopyPlane(job.cb, chromaBytes);
    tPlanes->cr = CopyPlane(job.cr, chromaBytes);
    if (tPlanes->y == nullptr || tPlanes->cb == nullptr || tPlanes->cr == nullptr) return -1;
    return 0;
}

int EncodePlanesToFile(const PlanesJob& job) {
    if (PreparePlanesJob(job) != 0) return -1;
    return EncodePicture();
}
