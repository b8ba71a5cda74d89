#include "door/library_door.h"

#include <cstring>
#include <new>

#include "api/instance.h"
#include "api/job_records.h"
#include "control/encoder.h"
#include "convert/convert_source.h"
#include "convert/planes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "params/settings.h"
#include "runtime/registry.h"
#include "runtime/working_memory.h"

namespace {

// The door's own instance on each thread that calls it, so the command's measurements and
// probes run beside its jobs.
PictorEncoder* DoorInstance() {
    struct Owned {
        PictorEncoder* encoder = CreateInstance();
        ~Owned() { DestroyInstance(encoder); }
    };
    thread_local Owned owned;
    if (owned.encoder == nullptr) throw std::bad_alloc();
    return owned.encoder;
}

// Every block and file of the door's instance released and every per-job record back to its
// start, as a job leaves them.
void ReleaseLibraryState() {
    BindInstance(DoorInstance());
    FreeAllTracked();
    CloseAllTracked();
    ResetJobRecords();
}

// The converted picture's settings, derived as a job derives them, then 4:2:0 chroma.
bool DerivePlanes() {
    SetPictureSize(tTiffFields->imageWidth, tTiffFields->imageLength);
    const EncoderSettings& s = *tSettings;
    return DeriveSettings() == 0 && s.CodedXOffset == 0 && s.CodedYOffset == 0 &&
           DecimateChroma() == 0;
}

}  // namespace

void ProbeLibraryTiff(const std::string& path, TiffProbe* out, const unsigned char* bytes,
                      uint64_t size) {
    ReleaseLibraryState();
    tJob->source = SourceBytes{bytes, size, nullptr};
    ProbeTiffFile(path.c_str(), out);
    ReleaseLibraryState();
}

bool LibraryCodedPlanes(const std::string& path, int levelMode, CodedPlanes* out,
                        std::string* error) {
    ReleaseLibraryState();
    char errorText[1024] = "";
    BindErrorText(errorText, kModulePictor);
    ColourLevels levels;
    levels.fullRange = (levelMode == 1 || levelMode == 2) ? 1 : 0;
    levels.wideClip = levelMode == 1 ? 1 : 0;
    std::strncpy(tMessageNames->pictureName, path.c_str(), sizeof tMessageNames->pictureName - 1);
    const bool ok = ConvertSourcePicture(path.c_str(), levels) == 0 && DerivePlanes();
    if (ok) {
        const int w = tSettings->FrameWidth, h = tSettings->FrameHeight;
        const size_t luma = size_t(w) * h, chroma = size_t(w / 2) * (h / 2);
        out->width = w;
        out->height = h;
        out->y.assign(tPlanes->y, tPlanes->y + luma);
        // After the decimation the first h / 2 rows of each chroma plane hold 4:2:0.
        out->cb.assign(tPlanes->cb, tPlanes->cb + chroma);
        out->cr.assign(tPlanes->cr, tPlanes->cr + chroma);
    } else {
        *error = errorText[0] != '\0' ? errorText : "the library cannot convert " + path;
        while (!error->empty() && error->back() == '\n') error->pop_back();
    }
    ReleaseLibraryState();
    return ok;
}

void* TakeLargePages(uint64_t bytes) { return MapLargePages(bytes); }

void FreeLargePages(void* memory, uint64_t bytes) { UnmapLargePages(memory, bytes); }

uint64_t LargePageRoom(uint64_t bytes) { return LargePageSpan(bytes); }

namespace rules {

long long TargetUsed(long long asRead, bool progressiveStill) {
    return ::TargetUsed(asRead, progressiveStill);
}

int32_t LeadingInteger(const std::string& value, bool* whole) {
    const char* end = nullptr;
    const int32_t v = ::LeadingInteger(value.c_str(), &end);
    *whole = !value.empty() && *end == '\0';
    return v;
}

std::string Stem(const std::string& jobFilePath) {
    return jobFilePath.substr(0, JobStemLength(jobFilePath.c_str()));
}

bool NameFitsJobFile(const std::string& name) {
    if (name.empty() || name.size() > kMaxWrittenName) return false;
    if (name.find(kJobExtension) != std::string::npos) return false;
    for (char c : name) {
        if (c == kCommentMark || IsJobFileBlank(c)) return false;
    }
    return true;
}

}  // namespace rules
